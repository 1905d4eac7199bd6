#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/win32/unique_resource.h"
#include "platform/window_hooks.h"

namespace platform {

namespace {

std::mutex hooks_mutex;
// The hooks by thread, guarded by hooks_mutex. Never destroyed: a hook
// still set when the library's objects go belongs to a process that is
// ending (a set hook keeps the library loaded), and a static's destructor
// runs inside the library's detach, where Windows forbids calls into
// user32 (UnhookWindowsHookEx): the system takes the hooks down with the
// process.
std::map<uint32_t, win32::unique_hhook>& hooks_by_thread() {
    static auto* const hooks = new std::map<uint32_t, win32::unique_hhook>();
    return *hooks;
}
std::atomic<TooltipShown> callback{nullptr};
std::atomic<int> in_flight{0};

LRESULT CALLBACK call_window_proc_hook(int code, WPARAM wparam, LPARAM lparam) {
    ++in_flight;
    if (code >= 0 && (code == HC_ACTION || code == 3)) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lparam);
        if (message != nullptr && message->message == WM_NOTIFY && message->lParam != 0) {
            const auto* header = reinterpret_cast<const NMHDR*>(message->lParam);
            if (header->code == static_cast<UINT>(TTN_SHOW)) {
                if (TooltipShown cb = callback.load())
                    cb(GetCurrentThreadId(), static_cast<intptr_t>(header->idFrom),
                       reinterpret_cast<intptr_t>(header->hwndFrom));
            }
        }
    }
    const LRESULT result = CallNextHookEx(nullptr, code, wparam, lparam);
    --in_flight;
    return result;
}

}  // namespace

int hook_calls_in_flight() { return in_flight.load(); }

intptr_t call_tooltip_hook_for_testing(int code, uintptr_t wparam, const void* message) {
    return static_cast<intptr_t>(call_window_proc_hook(
        code, static_cast<WPARAM>(wparam), reinterpret_cast<LPARAM>(message)));
}

bool install_tooltip_hook(uint32_t thread, TooltipShown cb) {
    if (thread == 0) return false;
    callback.store(cb);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &call_window_proc_hook, nullptr, thread);
    if (hook == nullptr) return false;
    std::lock_guard<std::mutex> lock(hooks_mutex);
    hooks_by_thread()[thread].reset(hook);
    return true;
}

bool remove_tooltip_hook(uint32_t thread) {
    win32::unique_hhook hook;
    {
        std::lock_guard<std::mutex> lock(hooks_mutex);
        auto& hooks = hooks_by_thread();
        auto it = hooks.find(thread);
        if (it == hooks.end()) return false;
        hook = std::move(it->second);  // unhooked below, outside the lock, where the result is seen
        hooks.erase(it);
    }
    return hook.close();
}

uint32_t window_thread(intptr_t window) {
    return GetWindowThreadProcessId(reinterpret_cast<HWND>(window), nullptr);
}

std::u16string window_text(intptr_t window, int capacity) {
    std::u16string text(static_cast<std::size_t>(capacity), u'\0');
    const int n = GetWindowTextW(reinterpret_cast<HWND>(window),
                                 reinterpret_cast<wchar_t*>(&text[0]), capacity);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

void pump_waiting_messages() {
    MSG msg;
    bool quit = false;
    WPARAM quit_code = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quit_code = msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

}  // namespace platform
