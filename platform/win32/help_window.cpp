// The help window on Windows: a top-most, layered tool window with the
// banner painted above an AtlAxWin-hosted web browser (Shell.Explorer.2):
// silent, no drop target, no context menu; the browser's keyboard shortcuts
// never fire because the message loop does not route accelerators to it.
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/debug_output.h"
#include "platform/help_window.h"

namespace platform {

namespace {

constexpr int kClientWidth = 292, kClientHeight = 466, kBannerHeight = 55;
constexpr int kMinWidth = 300, kMinHeight = 500, kMaxWidth = 600, kMaxHeight = 1200;
const wchar_t kClassName[] = L"VSAHelpDialog";
const wchar_t kTitle[] = L"Indicator Help";

HINSTANCE own_instance() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&own_instance), &self);
    return self;
}

std::wstring wide(const std::string& utf8) {
    const std::u16string w = utf16_from_utf8(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string narrow(const std::wstring& text) {
    const std::u16string w(text.begin(), text.end());
    return utf8_from_utf16(w.c_str());
}

// A call carried to the owning thread by the invoke message.
struct Invocation {
    const std::function<void()>* call;
    std::exception_ptr error;
    bool ran = false;
};

UINT invoke_message() {
    static const UINT message = RegisterWindowMessageW(L"Barsight.HelpWindow.Invoke");
    return message;
}

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
using AtlAxGetHostFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// The ATL host's ambient property AllowContextMenu, set by name through its
// dispatch interface (IAxWinAmbientDispatch) so that no interface layout is
// assumed. A host without it keeps its default.
void forbid_context_menu(IUnknown* host) {
    IDispatch* ambient = nullptr;
    if (FAILED(host->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))) || !ambient)
        return;
    OLECHAR name[] = L"AllowContextMenu";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    if (SUCCEEDED(ambient->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = VARIANT_FALSE;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put, 1, 1};
        ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, nullptr);
    }
    ambient->Release();
}

class Win32HelpWindow : public HelpWindow {
public:
    Win32HelpWindow(HelpWindowEvents* events, const std::string& first_page)
        : events_(events), owner_(GetCurrentThreadId()), page_(first_page) {
        HINSTANCE instance = own_instance();
        register_class(instance);
        RECT frame{0, 0, kClientWidth, kClientHeight};
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
        const DWORD ex_style = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED;
        AdjustWindowRectEx(&frame, style, FALSE, ex_style);
        hwnd_ = CreateWindowExW(ex_style, kClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, this);
        if (hwnd_ == nullptr)
            throw std::runtime_error("the help window could not be created (error " +
                                     std::to_string(GetLastError()) + ")");
        SetLayeredWindowAttributes(hwnd_, 0, 255, LWA_ALPHA);

        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        font_ = CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            FIXED_PITCH | FF_MODERN, L"Lucida Console");
        if (font_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        small_icon_ = static_cast<HICON>(LoadImageW(instance, L"$this.Icon", IMAGE_ICON, 16, 16, 0));
        big_icon_ = static_cast<HICON>(LoadImageW(instance, L"$this.Icon", IMAGE_ICON, 32, 32, 0));
        if (small_icon_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
        if (big_icon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
        banner_ = static_cast<HBITMAP>(LoadImageW(instance, L"splitContainer1.Panel1.BackgroundImage",
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        create_browser(instance);
    }

    ~Win32HelpWindow() override {
        if (browser_) browser_->Release();
        if (hwnd_ && IsWindow(hwnd_) && GetCurrentThreadId() == owner_) DestroyWindow(hwnd_);
        if (font_) DeleteObject(font_);
        if (banner_) DeleteObject(banner_);
        if (small_icon_) DestroyIcon(small_icon_);
        if (big_icon_) DestroyIcon(big_icon_);
        // atl.dll stays loaded: its window class may still be registered.
    }

    void invoke(const std::function<void()>& call) override {
        if (GetCurrentThreadId() == owner_) {
            if (!IsWindow(hwnd_)) throw std::runtime_error("the help window no longer exists");
            call();
            return;
        }
        Invocation invocation{&call, nullptr, false};
        if (!IsWindow(hwnd_)) throw std::runtime_error("the help window no longer exists");
        SendMessageW(hwnd_, invoke_message(), 0, reinterpret_cast<LPARAM>(&invocation));
        if (!invocation.ran) throw std::runtime_error("the help window no longer exists");
        if (invocation.error) std::rethrow_exception(invocation.error);
    }

    void place_in_work_area(int x, int y) override {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(hwnd_, nullptr, work.left + x, work.top + y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void center_on_screen() override {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void set_opacity(double opacity) override {
        const double clamped = opacity < 0 ? 0 : opacity > 1 ? 1 : opacity;
        SetLayeredWindowAttributes(hwnd_, 0, static_cast<BYTE>(clamped * 255 + 0.5), LWA_ALPHA);
    }
    void show() override { ShowWindow(hwnd_, SW_SHOW); }
    void hide() override { ShowWindow(hwnd_, SW_HIDE); }
    void navigate(const std::string& url) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            page_ = url;
        }
        if (!browser_) return;
        BSTR address = SysAllocString(wide(url).c_str());
        VARIANT empty;
        VariantInit(&empty);
        browser_->Navigate(address, &empty, &empty, &empty, &empty);
        SysFreeString(address);
    }
    void screen_position(int* x, int* y) override {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        *x = r.left;
        *y = r.top;
    }
    void close() override { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }
    void run_message_loop() override {
        ShowWindow(hwnd_, SW_SHOWNA);  // the main window: shown, still transparent
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void end_loop() override { PostThreadMessageW(owner_, WM_QUIT, 0, 0); }
    void shut_down_dispatcher() override {
        // Runs what is already queued for the thread; calls sent to the
        // destroyed window fail at once.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    HelpWindowState state() override {
        HelpWindowState s;
        s.exists = IsWindow(hwnd_) != FALSE;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            s.page = page_;
        }
        s.browser = browser_ != nullptr;
        if (!s.exists) return s;
        s.visible = IsWindowVisible(hwnd_) != FALSE;
        BYTE alpha = 255;
        DWORD flags = 0;
        if (GetLayeredWindowAttributes(hwnd_, nullptr, &alpha, &flags)) s.opacity = alpha / 255.0;
        RECT r{};
        GetWindowRect(hwnd_, &r);
        s.x = r.left;
        s.y = r.top;
        wchar_t text[256] = {};
        GetClassNameW(hwnd_, text, 256);
        s.class_name = narrow(text);
        InternalGetWindowText(hwnd_, text, 256);
        s.title = narrow(text);
        const LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
        s.topmost = (ex & WS_EX_TOPMOST) != 0;
        s.tool_window = (ex & WS_EX_TOOLWINDOW) != 0;
        s.layered = (ex & WS_EX_LAYERED) != 0;
        RECT client{};
        GetClientRect(hwnd_, &client);
        s.client_width = client.right;
        s.client_height = client.bottom;
        s.on_owner_thread = GetWindowThreadProcessId(hwnd_, nullptr) == owner_;
        return s;
    }
    void user_close() override {
        invoke([this] { SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0); });
    }
    void user_move(int x, int y) override {
        invoke([this, x, y] {
            SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }

private:
    static void register_class(HINSTANCE instance) {
        static std::once_flag once;
        std::call_once(once, [instance] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &Win32HelpWindow::window_proc;
            wc.hInstance = instance;
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = kClassName;
            RegisterClassExW(&wc);
        });
    }

    // The browser below the banner; without it (no atl.dll, no browser
    // control) the window still works, with an empty lower panel.
    void create_browser(HINSTANCE instance) {
        atl_ = LoadLibraryW(L"atl.dll");
        if (!atl_) return;
        auto init = reinterpret_cast<AtlAxWinInitFn>(
            reinterpret_cast<void*>(GetProcAddress(atl_, "AtlAxWinInit")));
        auto get_control = reinterpret_cast<AtlAxGetControlFn>(
            reinterpret_cast<void*>(GetProcAddress(atl_, "AtlAxGetControl")));
        if (!init || !get_control || !init()) return;
        host_ = CreateWindowExW(0, L"AtlAxWin", L"Shell.Explorer.2", WS_CHILD | WS_VISIBLE, 0,
                                kBannerHeight, kClientWidth + 2, kClientHeight - kBannerHeight - 5,
                                hwnd_, nullptr, instance, nullptr);
        if (!host_) return;
        auto get_host = reinterpret_cast<AtlAxGetHostFn>(
            reinterpret_cast<void*>(GetProcAddress(atl_, "AtlAxGetHost")));
        IUnknown* host = nullptr;
        if (get_host && SUCCEEDED(get_host(host_, &host)) && host) {
            forbid_context_menu(host);
            host->Release();
        }
        IUnknown* control = nullptr;
        if (FAILED(get_control(host_, &control)) || !control) return;
        control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
        control->Release();
        if (!browser_) return;
        browser_->put_Silent(VARIANT_TRUE);
        browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
        navigate(page_);
    }

    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32HelpWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
        return self->handle(hwnd, message, wparam, lparam);
    }

    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == invoke_message()) {
            auto* invocation = reinterpret_cast<Invocation*>(lparam);
            invocation->ran = true;
            try {
                (*invocation->call)();
            } catch (...) {
                invocation->error = std::current_exception();
            }
            return 1;
        }
        switch (message) {
            case WM_CLOSE:
                if (!events_->on_closing()) DestroyWindow(hwnd);
                return 0;
            case WM_DESTROY:
                events_->on_closed();
                return 0;
            case WM_MOVE:
                if (hwnd_ != nullptr) events_->on_moved();
                break;
            case WM_GETMINMAXINFO: {
                auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
                info->ptMinTrackSize = {kMinWidth, kMinHeight};
                info->ptMaxTrackSize = {kMaxWidth, kMaxHeight};
                return 0;
            }
            case WM_SIZE:
                if (host_)
                    MoveWindow(host_, 0, kBannerHeight, LOWORD(lparam),
                               HIWORD(lparam) > kBannerHeight ? HIWORD(lparam) - kBannerHeight : 0,
                               TRUE);
                break;
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                if (banner_) {
                    HDC memory = CreateCompatibleDC(dc);
                    HGDIOBJ old = SelectObject(memory, banner_);
                    BITMAP bm{};
                    GetObjectW(banner_, sizeof bm, &bm);
                    BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCCOPY);
                    SelectObject(memory, old);
                    DeleteDC(memory);
                }
                EndPaint(hwnd, &ps);
                return 0;
            }
            default:
                break;
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }

    HelpWindowEvents* events_;
    DWORD owner_;
    HWND hwnd_ = nullptr;
    HWND host_ = nullptr;
    HMODULE atl_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    HFONT font_ = nullptr;
    HBITMAP banner_ = nullptr;
    HICON small_icon_ = nullptr, big_icon_ = nullptr;
    std::mutex mutex_;
    std::string page_;
};

}  // namespace

std::unique_ptr<HelpWindow> HelpWindow::create(HelpWindowEvents* events,
                                               const std::string& first_page) {
    return std::make_unique<Win32HelpWindow>(events, first_page);
}

}  // namespace platform
