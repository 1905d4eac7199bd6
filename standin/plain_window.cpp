#include "platform/plain_window.h"

namespace platform {

// No window system: no window, nothing to dispatch, no tooltip.
struct PlainWindow::Owner {};

PlainWindow::PlainWindow(const std::string&) : owner_(std::make_unique<Owner>()) {}
PlainWindow::~PlainWindow() = default;
intptr_t PlainWindow::handle() const noexcept { return 0; }
intptr_t PlainWindow::keep() noexcept { return 0; }
void dispatch_pending_messages() {}
bool show_tooltip_over(intptr_t, const std::string&) { return false; }

}  // namespace platform
