#include <windows.h>
#include <commctrl.h>

#include "platform/plain_window.h"
#include "platform/text_codec.h"
#include "platform/win32/unique_resource.h"

namespace platform {

struct PlainWindow::Owner {
    win32::unique_hwnd window;
};

PlainWindow::PlainWindow(const std::string& title) : owner_(std::make_unique<Owner>()) {
    owner_->window.reset(CreateWindowExW(0, L"STATIC", wide_from_utf8(title).c_str(), WS_POPUP, 0, 0, 200, 100,
                                         nullptr, nullptr, nullptr, nullptr));
}

PlainWindow::~PlainWindow() = default;

intptr_t PlainWindow::handle() const noexcept { return reinterpret_cast<intptr_t>(owner_->window.get()); }

intptr_t PlainWindow::keep() noexcept { return reinterpret_cast<intptr_t>(owner_->window.release()); }

void dispatch_pending_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool show_tooltip_over(intptr_t window, const std::string& text) {
    if (window == 0) return false;
    const win32::unique_hwnd tip(CreateWindowExW(0, L"STATIC", wide_from_utf8(text).c_str(), WS_POPUP, 0, 0, 10,
                                                 10, nullptr, nullptr, nullptr, nullptr));
    if (!tip) return false;
    NMHDR show{tip.get(), 1, static_cast<UINT>(TTN_SHOW)};
    SendMessageW(reinterpret_cast<HWND>(window), WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&show));
    return true;
}

}  // namespace platform
