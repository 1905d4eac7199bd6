#include "helpwindow/dialog_control.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <string>

#include "helpwindow/help_dialog.h"
#include "helpwindow/help_page.h"
#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/gui_thread.h"
#include "services/globals.h"

namespace barsight {

namespace {

constexpr auto kStartPause = std::chrono::milliseconds(200);
// How long ShowDialog waits for a window still being built.
constexpr auto kBuildWait = std::chrono::seconds(10);

// The failure report of the dialog exports: the message, where it arose,
// and the component.
std::string failure_report(const char* what, const char* where) {
    return std::string(what) + ", " + where + ", BarsightPlugin";
}

void report(const std::string& text) { Globals::DebugMessage(text); }

// The client calls the dialog exports from one thread; if it does not, this
// keeps two of them from changing the records at once (ShowDialog may call
// StartDialog, hence recursive). The dialog thread never takes it.
std::recursive_mutex exports_mutex;

}  // namespace

DialogThread::~DialogThread() { join(); }

void DialogThread::start() {
    started_.store(true);
    try {
        thread_ = std::thread([this] { body(); });
    } catch (...) {
        ended_.store(true);
        throw;
    }
}

VSAHelpDialog* DialogThread::request_kill() {
    std::lock_guard<std::mutex> lock(mutex_);
    kill_requested_ = true;
    return dialog_.get();
}

void DialogThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void DialogThread::body() {
    try {
        const platform::SingleThreadedApartment apartment;
        platform::prepare_gui_once();
        auto dialog = std::make_unique<VSAHelpDialog>();
        VSAHelpDialog* window = dialog.get();
        bool killed = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            killed = kill_requested_;
            dialog_ = std::move(dialog);
            if (!killed) Globals::myHelpDialog.store(window);
        }
        if (killed) {
            // KillDialog came while the window was being built: close it
            // here, so no thread runs a window that no record points to.
            window->MyClose();
        } else {
            window->MyHide();
            window->window().run_message_loop();
        }
        window->window().shut_down_dispatcher();
    } catch (...) {
        // The thread body reports nothing; the thread ends.
    }
    ended_.store(true);
}

namespace dialog {

void start() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    try {
        if (Globals::windowThread.load() != nullptr) return;
        auto thread = std::make_unique<DialogThread>();
        DialogThread* created = thread.get();
        Globals::windowThread.store(thread.release());
        if (created == nullptr) {
            report("Error in StartDialog: windowThread is NULL");
            return;
        }
        // The dialog thread runs our code: the library stays loaded for the
        // rest of the process, even if the client unloads it without
        // KillDialog.
        platform::pin_own_module();
        created->start();
        std::this_thread::sleep_for(kStartPause);
    } catch (const std::exception& e) {
        report("InitVSA ERROR: " + failure_report(e.what(), "StartDialog"));
    } catch (...) {
        report("InitVSA ERROR: " + failure_report("unknown failure", "StartDialog"));
    }
}

void show(int32_t hWnd, const char* url) noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    (void)hWnd;
    report("Show Dialog");
    try {
        if (Globals::windowThread.load() == nullptr || Globals::myHelpDialog.load() == nullptr) {
            start();
            // Wait, bounded, for the window of a thread that is still building
            // it; a thread that ended without one cannot show anything.
            const auto deadline = std::chrono::steady_clock::now() + kBuildWait;
            DialogThread* thread = Globals::windowThread.load();
            while (Globals::myHelpDialog.load() == nullptr && thread != nullptr &&
                   !thread->ended() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            report("Show Dialog");
            if (Globals::myHelpDialog.load() == nullptr)
                throw std::runtime_error("the help window could not be started");
        }
        const std::optional<std::u16string> text = Globals::convertChar(const_cast<char*>(url));
        if (!text) throw std::invalid_argument("url is a null pointer");
        const std::string page = help_page_for(platform::utf8_from_utf16(text->c_str()));
        report("Show -> " + page);
        VSAHelpDialog* window = Globals::myHelpDialog.load();
        window->ShowDisplay();
        window->SetNavigation(page);
    } catch (const std::exception& e) {
        report("ShowDialog: " + failure_report(e.what(), "ShowDialog"));
    } catch (...) {
        report("ShowDialog: " + failure_report("unknown failure", "ShowDialog"));
    }
}

void hide() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    report("Hide Dialog");
    try {
        VSAHelpDialog* window = Globals::myHelpDialog.load();
        if (Globals::windowThread.load() != nullptr && window != nullptr) window->HideDisplay();
    } catch (const std::exception& e) {
        report("HideDialog: " + failure_report(e.what(), "HideDialog"));
    } catch (...) {
        report("HideDialog: " + failure_report("unknown failure", "HideDialog"));
    }
}

void kill() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(exports_mutex);
    report("Kill Dialog");
    DialogThread* thread = Globals::windowThread.load();
    if (thread != nullptr) {
        VSAHelpDialog* window = thread->request_kill();
        try {
            if (window != nullptr && Globals::myHelpDialog.load() != nullptr) {
                window->KillDisplay();
                std::this_thread::yield();
            }
        } catch (const std::exception& e) {
            report("KillDialog: " + failure_report(e.what(), "KillDialog"));
            if (window != nullptr) window->window().end_loop();  // the loop must end for the join
        } catch (...) {
            report("KillDialog: " + failure_report("unknown failure", "KillDialog"));
            if (window != nullptr) window->window().end_loop();
        }
        thread->join();
    }
    Globals::windowThread.store(nullptr);
    Globals::myHelpDialog.store(nullptr);
    delete thread;  // releases the thread object and the dialog it holds
}

int32_t is_running() noexcept {
    DialogThread* thread = Globals::windowThread.load();
    if (thread == nullptr) return -1;
    return thread->running() ? 1 : -1;
}

}  // namespace dialog

}  // namespace barsight
