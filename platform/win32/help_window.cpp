// The help window on Windows: a top-most, layered tool window with the
// banner painted above an AtlAxWin-hosted web browser (Shell.Explorer.2):
// silent, no drop target, no context menu; the browser's keyboard shortcuts
// never fire because the message loop does not route accelerators to it.
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/help_window.h"
#include "platform/win32/unique_resource.h"

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
    win32::com_ptr<IDispatch> ambient;
    if (FAILED(host->QueryInterface(IID_IDispatch, ambient.put())) || !ambient) return;
    OLECHAR name[] = L"AllowContextMenu";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    if (SUCCEEDED(ambient->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        win32::unique_variant value;
        value.get()->vt = VT_BOOL;
        value.get()->boolVal = VARIANT_FALSE;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{value.get(), &put, 1, 1};
        ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, nullptr);
    }
}

// The window class, registered while a help window exists and unregistered
// with the last one: a class left registered would outlive an unloaded
// library and point at its code.
class ClassRegistration {
public:
    explicit ClassRegistration(HINSTANCE instance, WNDPROC procedure) {
        const std::lock_guard<std::mutex> lock(mutex());
        if (users()++ > 0) return;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kClassName;
        const ATOM atom = RegisterClassExW(&wc);
        if (atom == 0) {
            --users();
            throw std::runtime_error("the help window class could not be registered (error " +
                                     std::to_string(GetLastError()) + ")");
        }
        registration() = std::make_unique<win32::unique_window_class>(atom, instance);
    }
    ~ClassRegistration() {
        const std::lock_guard<std::mutex> lock(mutex());
        if (--users() == 0) registration().reset();
    }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static int& users() {
        static int n = 0;
        return n;
    }
    // Never destroyed: a registration still held when the library's objects
    // go has a window left open by a client that ended, in a process that
    // is ending, and a static's destructor runs inside the library's detach,
    // where Windows forbids calls into user32 (UnregisterClass), the more so
    // with a window whose thread the system has already stopped. The last
    // window to go unregisters the class as before.
    static std::unique_ptr<win32::unique_window_class>& registration() {
        static auto* const r = new std::unique_ptr<win32::unique_window_class>();
        return *r;
    }
};

// atl.dll, loaded once and kept for the process: AtlAxWinInit registers its
// AtlAxWin class with atl.dll's own instance, and unloading atl.dll would
// leave that class pointing at unloaded code. From the system folder only: a
// host program's folder comes before it in the ordinary search.
HMODULE atl_library() {
    static const HMODULE atl =
        static_cast<HMODULE>(DynamicLibrary::open_system("atl.dll", nullptr).keep_loaded());
    return atl;
}

class Win32HelpWindow : public HelpWindow {
public:
    Win32HelpWindow(HelpWindowEvents* events, const std::string& first_page)
        : events_(events), owner_(GetCurrentThreadId()), page_(first_page),
          class_(own_instance(), &Win32HelpWindow::window_proc) {
        try {
            build();
        } catch (...) {
            // The members release what was built; the window procedure must
            // no longer reach this half-built object meanwhile.
            detach();
            throw;
        }
        count_help_window(true, true);
    }

    ~Win32HelpWindow() override {
        detach();
        count_help_window(false, GetCurrentThreadId() == owner_);
        // The members go in reverse order: our browser reference, then the
        // window (with the browser's host window, its child), then the GDI
        // objects it used, then the class.
    }

    void invoke(const std::function<void()>& call) override {
        if (GetCurrentThreadId() == owner_) {
            if (!IsWindow(hwnd_.get())) throw std::runtime_error("the help window no longer exists");
            call();
            return;
        }
        // Other threads use the handle as built (the owner may be destroying
        // the window meanwhile; a send to a destroyed window fails at once).
        const HWND target = native_.load();
        Invocation invocation{&call, nullptr, false};
        if (!IsWindow(target)) throw std::runtime_error("the help window no longer exists");
        SendMessageW(target, invoke_message(), 0, reinterpret_cast<LPARAM>(&invocation));
        if (!invocation.ran) throw std::runtime_error("the help window no longer exists");
        if (invocation.error) std::rethrow_exception(invocation.error);
    }

    void place_in_work_area(int x, int y) override {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(hwnd_.get(), nullptr, work.left + x, work.top + y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void center_on_screen() override {
        RECT r{};
        GetWindowRect(hwnd_.get(), &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        SetWindowPos(hwnd_.get(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void set_opacity(double opacity) override {
        const double clamped = opacity < 0 ? 0 : opacity > 1 ? 1 : opacity;
        SetLayeredWindowAttributes(hwnd_.get(), 0, static_cast<BYTE>(clamped * 255 + 0.5), LWA_ALPHA);
    }
    void show() override { ShowWindow(hwnd_.get(), SW_SHOW); }
    void hide() override { ShowWindow(hwnd_.get(), SW_HIDE); }
    void navigate(const std::string& url) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            page_ = url;
            visible_at_navigate_ = hwnd_ && IsWindowVisible(hwnd_.get());
        }
        if (!browser_) return;
        const win32::unique_bstr address(SysAllocString(wide_from_utf8(url).c_str()));
        win32::unique_variant empty;
        browser_->Navigate(address.get(), empty.get(), empty.get(), empty.get(), empty.get());
    }
    void screen_position(int* x, int* y) override {
        RECT r{};
        GetWindowRect(hwnd_.get(), &r);
        *x = r.left;
        *y = r.top;
    }
    void close() override { SendMessageW(hwnd_.get(), WM_CLOSE, 0, 0); }
    void run_message_loop() override {
        ShowWindow(hwnd_.get(), SW_SHOWNA);  // the main window: shown, still transparent
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
        s.exists = IsWindow(hwnd_.get()) != FALSE;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            s.page = page_;
            s.visible_at_navigate = visible_at_navigate_;
        }
        s.browser = static_cast<bool>(browser_);
        if (!s.exists) return s;
        s.visible = IsWindowVisible(hwnd_.get()) != FALSE;
        BYTE alpha = 255;
        DWORD flags = 0;
        if (GetLayeredWindowAttributes(hwnd_.get(), nullptr, &alpha, &flags)) s.opacity = alpha / 255.0;
        RECT r{};
        GetWindowRect(hwnd_.get(), &r);
        s.x = r.left;
        s.y = r.top;
        wchar_t text[256] = {};
        GetClassNameW(hwnd_.get(), text, 256);
        s.class_name = utf8_from_wide(text);
        InternalGetWindowText(hwnd_.get(), text, 256);
        s.title = utf8_from_wide(text);
        const LONG_PTR ex = GetWindowLongPtrW(hwnd_.get(), GWL_EXSTYLE);
        s.topmost = (ex & WS_EX_TOPMOST) != 0;
        s.tool_window = (ex & WS_EX_TOOLWINDOW) != 0;
        s.layered = (ex & WS_EX_LAYERED) != 0;
        RECT client{};
        GetClientRect(hwnd_.get(), &client);
        s.client_width = client.right;
        s.client_height = client.bottom;
        s.on_owner_thread = GetWindowThreadProcessId(hwnd_.get(), nullptr) == owner_;
        return s;
    }
    void user_close() override {
        invoke([this] { SendMessageW(hwnd_.get(), WM_SYSCOMMAND, SC_CLOSE, 0); });
    }
    void user_move(int x, int y) override {
        invoke([this, x, y] {
            SetWindowPos(hwnd_.get(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }

private:
    void build() {
        HINSTANCE instance = own_instance();
        construction_step();
        RECT frame{0, 0, kClientWidth, kClientHeight};
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
        const DWORD ex_style = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED;
        AdjustWindowRectEx(&frame, style, FALSE, ex_style);
        hwnd_.reset(CreateWindowExW(ex_style, kClassName, kTitle, style, CW_USEDEFAULT,
                                    CW_USEDEFAULT, frame.right - frame.left,
                                    frame.bottom - frame.top, nullptr, nullptr, instance, this));
        if (!hwnd_)
            throw std::runtime_error("the help window could not be created (error " +
                                     std::to_string(GetLastError()) + ")");
        native_.store(hwnd_.get());
        construction_step();
        SetLayeredWindowAttributes(hwnd_.get(), 0, 255, LWA_ALPHA);

        int dpi = 96;
        {
            const win32::unique_window_dc screen(nullptr);
            if (screen.get()) dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
        }
        font_.reset(CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Lucida Console"));
        if (font_) SendMessageW(hwnd_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        construction_step();
        small_icon_.reset(static_cast<HICON>(LoadImageW(instance, L"$this.Icon", IMAGE_ICON, 16, 16, 0)));
        big_icon_.reset(static_cast<HICON>(LoadImageW(instance, L"$this.Icon", IMAGE_ICON, 32, 32, 0)));
        if (small_icon_)
            SendMessageW(hwnd_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
        if (big_icon_)
            SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
        construction_step();
        banner_.reset(static_cast<HBITMAP>(LoadImageW(
            instance, L"splitContainer1.Panel1.BackgroundImage", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        construction_step();
        create_browser(instance);
        construction_step();
    }

    // From here on the window procedure passes every message to the default
    // procedure: used before this object goes away.
    void detach() noexcept {
        if (hwnd_) SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
    }

    // The browser below the banner; without it (no atl.dll, no browser
    // control) the window still works, with an empty lower panel.
    void create_browser(HINSTANCE instance) {
        const HMODULE atl = atl_library();
        if (!atl) return;
        auto init = reinterpret_cast<AtlAxWinInitFn>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
        auto get_control = reinterpret_cast<AtlAxGetControlFn>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
        if (!init || !get_control || !init()) return;
        // A child window: destroyed with the help window, which owns it.
        host_ = CreateWindowExW(0, L"AtlAxWin", L"Shell.Explorer.2", WS_CHILD | WS_VISIBLE, 0,
                                kBannerHeight, kClientWidth + 2, kClientHeight - kBannerHeight - 5,
                                hwnd_.get(), nullptr, instance, nullptr);
        if (!host_) return;
        construction_step();
        auto get_host = reinterpret_cast<AtlAxGetHostFn>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetHost")));
        win32::com_ptr<IUnknown> host;
        if (get_host && SUCCEEDED(get_host(host_, host.put())) && host)
            forbid_context_menu(host.get());
        construction_step();
        win32::com_ptr<IUnknown> control;
        if (FAILED(get_control(host_, control.put())) || !control) return;
        if (FAILED(control->QueryInterface(IID_IWebBrowser2, browser_.put())) || !browser_) return;
        construction_step();
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
                if (!events_->on_closing()) hwnd_.reset();  // destroys it, here on its thread
                return 0;
            case WM_DESTROY:
                events_->on_closed();
                return 0;
            case WM_MOVE:
                if (hwnd_) events_->on_moved();
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
                const win32::unique_paint_dc dc(hwnd);
                if (banner_) {
                    const win32::unique_hdc_memory memory(CreateCompatibleDC(dc.get()));
                    if (memory) {
                        const win32::unique_select selected(memory.get(), banner_.get());
                        BITMAP bm{};
                        GetObjectW(banner_.get(), sizeof bm, &bm);
                        BitBlt(dc.get(), 0, 0, bm.bmWidth, bm.bmHeight, memory.get(), 0, 0, SRCCOPY);
                    }
                }
                return 0;
            }
            default:
                break;
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }

    HelpWindowEvents* events_;
    DWORD owner_;
    std::mutex mutex_;
    std::string page_;
    bool visible_at_navigate_ = false;  // guarded by mutex_
    // Destroyed in reverse order: see the destructor.
    ClassRegistration class_;
    win32::unique_hfont font_;
    win32::unique_hbitmap banner_;
    win32::unique_hicon small_icon_, big_icon_;
    win32::unique_hwnd hwnd_;
    HWND host_ = nullptr;  // the browser's host window, a child of hwnd_
    std::atomic<HWND> native_{nullptr};  // hwnd_ as built, for other threads
    win32::com_ptr<IWebBrowser2> browser_;
};

}  // namespace

std::unique_ptr<HelpWindow> HelpWindow::create(HelpWindowEvents* events,
                                               const std::string& first_page) {
    return std::make_unique<Win32HelpWindow>(events, first_page);
}

}  // namespace platform
