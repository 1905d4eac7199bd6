// The dialog thread and the logic of the dialog exports (StartDialog,
// ShowDialog, HideDialog, KillDialog, IsDialogRunning).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace barsight {

class VSAHelpDialog;

// The thread that builds, owns and runs the help window.
class DialogThread {
public:
    DialogThread() = default;
    ~DialogThread();
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    void start();
    // Started and not yet ended.
    bool running() const { return started_.load() && !ended_.load(); }
    bool ended() const { return ended_.load(); }
    // Asks the thread to close its window for real; returns the window if
    // it is built (the thread closes it itself when it is not yet built).
    VSAHelpDialog* request_kill();
    void join();

private:
    void body();

    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    std::mutex mutex_;
    bool kill_requested_ = false;           // guarded by mutex_
    std::unique_ptr<VSAHelpDialog> dialog_;  // guarded by mutex_; built on the thread
};

namespace dialog {

void start() noexcept;
void show(int32_t hWnd, const char* url) noexcept;
void hide() noexcept;
void kill() noexcept;
int32_t is_running() noexcept;

}  // namespace dialog

}  // namespace barsight
