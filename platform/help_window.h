// The help window's native side: a top-most tool window with a banner above
// an embedded web browser, owned by the thread that creates it. On Windows
// it is a real window; on posix a headless stand-in with the same state
// and the same threading: every operation runs on the owning thread, and
// other threads reach it only through invoke(), which waits.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// What the window reports to its owner, on the owning thread.
class HelpWindowEvents {
public:
    virtual ~HelpWindowEvents() = default;
    virtual void on_moved() = 0;
    // A close was requested (by the user or by close()); true cancels it.
    virtual bool on_closing() = 0;
    virtual void on_closed() = 0;
};

// What the window looks like, for tests and diagnostics.
struct HelpWindowState {
    bool exists = false;    // the native window exists
    bool visible = false;
    double opacity = 1.0;
    int x = 0, y = 0;       // screen position of the top-left corner
    std::string page;       // the address the browser was sent to last
    bool visible_at_navigate = false;  // the window was visible when sent there
    bool browser = false;   // the browser control could be created
    // How the window was built (read back from the native window on Windows).
    std::string class_name, title;
    bool topmost = false, tool_window = false, layered = false;
    int client_width = 0, client_height = 0;
    bool on_owner_thread = false;  // the native window belongs to the owning thread
};

class HelpWindow {
public:
    // Builds the window on the calling thread (which becomes its owner),
    // not yet shown, its browser at `first_page`. Throws std::runtime_error
    // when the window cannot be built.
    static std::unique_ptr<HelpWindow> create(HelpWindowEvents* events,
                                              const std::string& first_page);
    virtual ~HelpWindow() = default;

    // Runs `call` on the owning thread and waits for it (directly when
    // called there). Throws std::runtime_error when the window no longer
    // exists; an exception of `call` is passed on to the caller.
    virtual void invoke(const std::function<void()>& call) = 0;

    // Owning thread only:
    virtual void place_in_work_area(int x, int y) = 0;  // working-area origin + (x, y)
    virtual void center_on_screen() = 0;
    virtual void set_opacity(double opacity) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void navigate(const std::string& url) = 0;
    virtual void screen_position(int* x, int* y) = 0;
    // Asks the window to close: on_closing decides; if not cancelled the
    // native window is destroyed and on_closed follows.
    virtual void close() = 0;
    // Makes the window the loop's main window (shown, at its current
    // opacity) and runs the thread's message loop until end_loop().
    virtual void run_message_loop() = 0;
    virtual void end_loop() = 0;
    // After the loop: lets every call already queued for the thread run (or
    // fail) so that no caller waits on a thread that is gone.
    virtual void shut_down_dispatcher() = 0;

    // Any thread (synchronised): the window's state.
    virtual HelpWindowState state() = 0;
    // Test seams, any thread: what a user does with the title bar.
    virtual void user_close() = 0;
    virtual void user_move(int x, int y) = 0;
};

// Test seams.
// Building a window goes through numbered steps; construction_step() marks
// each. With a fault set at n (n >= 1), the n-th step reached after setting
// it throws std::runtime_error, once; 0 switches the fault off.
void set_construction_fault_for_testing(int n) noexcept;
// True when the fault set last has been thrown.
bool construction_fault_thrown_for_testing() noexcept;
void construction_step();

// Windows built and destroyed in this process, and how many of them were
// destroyed on a thread other than the one that built them.
struct HelpWindowCounts {
    int built = 0;
    int destroyed = 0;
    int destroyed_off_owner_thread = 0;
};
HelpWindowCounts help_window_counts_for_testing() noexcept;
void count_help_window(bool built, bool on_owner_thread) noexcept;

}  // namespace platform
