// The dialog thread and the logic of the dialog exports (StartDialog,
// ShowDialog, HideDialog, KillDialog, IsDialogRunning).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/dynamic_library.h"

namespace barsight {

class VSAHelpDialog;

// The thread that builds, owns and runs the help window. Everything the
// thread creates (the window, its browser and their COM objects) it also
// destroys, before it leaves its COM apartment; other threads only ask it
// to close the window and wait for it to end.
class DialogThread {
public:
    DialogThread() = default;
    ~DialogThread();
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    // Starts the thread. While it runs, it holds a reference on the library
    // (released by join), so a host that unloads the library early cannot
    // leave the thread running unloaded code.
    void start();
    // Started and not yet ended.
    bool running() const { return started_.load() && !ended_.load(); }
    bool ended() const { return ended_.load(); }
    // Runs `call` with the window while it exists (the window stays alive
    // meanwhile); false, without calling, when there is none.
    bool with_dialog(const std::function<void(VSAHelpDialog&)>& call);
    // Asks the thread to close its window for real and let its loop end: at
    // once if the window is built, otherwise as soon as it is.
    void request_kill();
    // Waits for the thread to end, then drops its library reference.
    void join();

private:
    void body();
    void run_window();

    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    platform::DynamicLibrary library_reference_;
    std::mutex mutex_;
    bool kill_requested_ = false;       // guarded by mutex_
    VSAHelpDialog* dialog_ = nullptr;   // guarded by mutex_; owned by the thread
    int users_ = 0;                     // with_dialog calls in progress, guarded by mutex_
};

namespace dialog {

// The help window and its thread, owned by the dialog exports. Written and
// read on different threads, hence atomic.
extern std::atomic<VSAHelpDialog*> myHelpDialog;
extern std::atomic<DialogThread*> windowThread;


void start() noexcept;
void show(int32_t hWnd, const char* url) noexcept;
void hide() noexcept;
void kill() noexcept;
int32_t is_running() noexcept;

// Tests: StartDialog's pause after starting the thread (200 ms).
void set_start_pause_for_testing(std::chrono::milliseconds pause) noexcept;

}  // namespace dialog

}  // namespace barsight
