#include "helpwindow/dialog_control.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <string>

#include "helpwindow/help_dialog.h"
#include "helpwindow/help_page.h"
#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/gui_thread.h"
#include "platform/help_window.h"
#include "platform/scope_exit.h"
#include "msx/boundary.h"
#include "services/globals.h"

namespace barsight {

namespace dialog {

std::atomic<VSAHelpDialog*> myHelpDialog{nullptr};
std::atomic<DialogThread*> windowThread{nullptr};

}  // namespace dialog

namespace {

std::atomic<int> start_pause_ms{200};
// How long ShowDialog waits for a window still being built.
constexpr auto kBuildWait = std::chrono::seconds(10);

// The client calls the dialog exports from one thread; if it does not, this
// keeps two of them from changing the records at once (ShowDialog may call
// StartDialog, hence recursive). The dialog thread never takes it.
std::recursive_mutex exports_mutex;

// Guards dialog::windowThread against its deletion: held only to read or
// change the record, never across a wait, so IsDialogRunning never blocks
// behind a join or a show.
std::mutex record_mutex;

// The owner of the dialog thread record; dialog::windowThread is the
// record as every export reads it (guarded by record_mutex).
//
// A record still held when the library's objects are destroyed belongs to
// a client that never called KillDialog. Its thread holds a reference on
// the library until it is joined, so the library is going only because the
// process is ending: a join would wait for a message loop nobody ends (on
// Windows, for a thread the system has already stopped, under the loader
// lock), and the library may not free itself from its own detach. The
// record is left to the end of the process, as the system leaves the
// thread.
struct ThreadRecordOwner {
    std::unique_ptr<DialogThread> record;
    ~ThreadRecordOwner() { static_cast<void>(record.release()); }
};
ThreadRecordOwner owned_thread;

// Makes `thread` the record and hands back the one it replaces (its owner
// now: it goes when the caller is done with it).
std::unique_ptr<DialogThread> set_thread_record(std::unique_ptr<DialogThread> thread) {
    const std::lock_guard<std::mutex> lock(record_mutex);
    std::swap(owned_thread.record, thread);
    dialog::windowThread.store(owned_thread.record.get());
    if (owned_thread.record == nullptr) dialog::myHelpDialog.store(nullptr);
    return thread;
}

}  // namespace

DialogThread::~DialogThread() { join(); }

void DialogThread::start() {
    library_reference_ = platform::DynamicLibrary::own_module();
    started_.store(true);
    try {
        thread_ = std::thread([this] { body(); });
    } catch (...) {
        ended_.store(true);
        library_reference_ = platform::DynamicLibrary();
        throw;
    }
}

bool DialogThread::with_dialog(const std::function<void(VSAHelpDialog&)>& call) {
    VSAHelpDialog* dialog = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (dialog_ == nullptr) return false;
        dialog = dialog_;
        ++users_;
    }
    const auto release = platform::scope_exit([this]() noexcept {
        const std::lock_guard<std::mutex> lock(mutex_);
        --users_;
    });
    call(*dialog);
    return true;
}

void DialogThread::request_kill() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        kill_requested_ = true;
    }
    with_dialog([](VSAHelpDialog& dialog) { dialog.KillDisplay(); });
}

void DialogThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    // No code of ours runs on the thread any more.
    if (!thread_.joinable()) library_reference_ = platform::DynamicLibrary();
}

void DialogThread::body() {
    try {
        run_window();
    } catch (...) {
        // The thread body reports nothing; the thread ends.
    }
    ended_.store(true);
}

void DialogThread::run_window() {
    const platform::SingleThreadedApartment apartment;
    platform::prepare_gui_once();
    platform::construction_step();
    const std::unique_ptr<VSAHelpDialog> dialog = std::make_unique<VSAHelpDialog>();
    VSAHelpDialog* window = dialog.get();

    // Before the window goes (also when the loop fails): no client may
    // reach it any more, and calls in progress finish first. The thread keeps
    // dispatching meanwhile, so a call waiting for it is answered.
    const auto retire = platform::scope_exit([this, window]() noexcept {
        std::unique_lock<std::mutex> lock(mutex_);
        dialog_ = nullptr;
        VSAHelpDialog* expected = window;
        dialog::myHelpDialog.compare_exchange_strong(expected, nullptr);
        for (;;) {
            lock.unlock();
            window->window().shut_down_dispatcher();
            lock.lock();
            if (users_ == 0) break;
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            lock.lock();
        }
    });

    bool killed = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        killed = kill_requested_;
        if (!killed) {
            dialog_ = window;
            dialog::myHelpDialog.store(window);
        }
    }
    if (killed) {
        // KillDialog came while the window was being built: close it here,
        // so no thread runs a window that no record points to.
        window->MyClose();
    } else {
        window->MyHide();
        window->window().run_message_loop();
    }
    // `retire`, then `dialog` (the window, its browser, its COM objects),
    // then `apartment` end here, in that order, on this thread.
}

namespace dialog {

void start() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    msx::report_or({"InitVSA ERROR: ", ", StartDialog, BarsightPlugin"}, [] {
        if (dialog::windowThread.load() != nullptr) return;
        auto thread = std::make_unique<DialogThread>();
        try {
            thread->start();
        } catch (const std::system_error&) {
            Globals::DebugMessage("Error in StartDialog: windowThread is NULL");
            return;
        }
        set_thread_record(std::move(thread));
        std::this_thread::sleep_for(std::chrono::milliseconds(start_pause_ms.load()));
    });
}

// The window handle is not read: the page opens in the help window.
void show(int32_t /*hWnd*/, const char* url) noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    Globals::DebugMessage("Show Dialog");
    msx::report_or({"ShowDialog: ", ", ShowDialog, BarsightPlugin"}, [url] {
        if (dialog::windowThread.load() == nullptr || dialog::myHelpDialog.load() == nullptr) {
            start();
            // Wait, bounded, for the window of a thread that is still building
            // it; a thread that ended without one cannot show anything.
            const auto deadline = std::chrono::steady_clock::now() + kBuildWait;
            DialogThread* thread = dialog::windowThread.load();
            while (dialog::myHelpDialog.load() == nullptr && thread != nullptr &&
                   !thread->ended() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            Globals::DebugMessage("Show Dialog");
            if (dialog::myHelpDialog.load() == nullptr)
                throw std::runtime_error("the help window could not be started");
        }
        const std::optional<std::u16string> text = Globals::convertChar(const_cast<char*>(url));
        if (!text) throw std::invalid_argument("url is a null pointer");
        const std::string name = platform::utf8_from_utf16(text->c_str());
        DialogThread* thread = dialog::windowThread.load();
        const bool shown = thread->with_dialog([&](VSAHelpDialog& window) {
            const std::string page = help_page_for(window.help_base(), name);
            Globals::DebugMessage("Show -> " + page);
            window.ShowDisplay();
            window.SetNavigation(page);
        });
        if (!shown) throw std::runtime_error("the help window no longer exists");
    });
}

void hide() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    Globals::DebugMessage("Hide Dialog");
    msx::report_or({"HideDialog: ", ", HideDialog, BarsightPlugin"}, [] {
        DialogThread* thread = dialog::windowThread.load();
        if (thread != nullptr && dialog::myHelpDialog.load() != nullptr &&
            !thread->with_dialog([](VSAHelpDialog& window) { window.HideDisplay(); }))
            throw std::runtime_error("the help window no longer exists");
    });
}

void kill() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    Globals::DebugMessage("Kill Dialog");
    DialogThread* thread = dialog::windowThread.load();
    if (thread != nullptr) {
        auto end_loop = [thread] {
            // The loop must end for the join.
            try {
                thread->with_dialog([](VSAHelpDialog& window) { window.window().end_loop(); });
            } catch (...) {
            }
        };
        const bool asked = msx::report_or<bool>({"KillDialog: ", ", KillDialog, BarsightPlugin"}, false, [thread] {
            thread->request_kill();
            std::this_thread::yield();
            return true;
        });
        if (!asked) end_loop();
        thread->join();
    }
    // The record's owner goes here: the thread has ended, and the window
    // went with it, on its own thread.
    set_thread_record(nullptr);
}

int32_t is_running() noexcept {
    const std::lock_guard<std::mutex> lock(record_mutex);
    const DialogThread* thread = dialog::windowThread.load();
    if (thread == nullptr) return -1;
    return thread->running() ? 1 : -1;
}

void set_start_pause_for_testing(std::chrono::milliseconds pause) noexcept {
    start_pause_ms.store(static_cast<int>(pause.count()));
}

}  // namespace dialog

}  // namespace barsight
