// A plain top-level window that a host program (msxhost, mql4run) hands a
// plug-in as its own, as a charting host or a trading client hands over its
// chart window: hooks and dialogs need a real window to attach to. Where
// there is no window system (posix) there is no window: its handle is 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class PlainWindow {
public:
    // A hidden popup window with `title`, owned by the calling thread (it
    // must also be the thread that destroys it).
    explicit PlainWindow(const std::string& title);
    ~PlainWindow();
    PlainWindow(const PlainWindow&) = delete;
    PlainWindow& operator=(const PlainWindow&) = delete;
    intptr_t handle() const noexcept;
    // Gives the window up: it stays until the process ends (the handle is
    // only for the record).
    intptr_t keep() noexcept;

private:
    struct Owner;
    std::unique_ptr<Owner> owner_;
};

// Dispatches every message waiting for the calling thread's windows.
void dispatch_pending_messages();

// `window` shows a tooltip with `text`: a tip window notifies it with
// TTN_SHOW, as a host's tooltip does. False where there is no window.
bool show_tooltip_over(intptr_t window, const std::string& text);

}  // namespace platform
