// Owners for the Win32 resources the platform layer holds: one generic owner
// (unique_any) and one line per kind of handle, so that no handle is closed
// by hand and a constructor that throws half-way leaves nothing behind.
// Every owner counts the resources of its kind it holds, so tests can check
// that a window's life leaves none behind.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <io.h>

#include <utility>

#include "platform/unique_any.h"

namespace platform::win32 {

enum class Resource {
    kWindow,
    kWindowClass,
    kGdiObject,
    kIcon,
    kHook,
    kModule,
    kWindowDc,
    kPaintDc,
    kMemoryDc,
    kComReference,
    kBstr,
    kVariant,
    kApartment,
    kFileHandle,
    kCount
};

// How many resources of `kind` owners hold at this moment.
int live_resources(Resource kind) noexcept;
void count_resource(Resource kind, int delta) noexcept;

// The generic owner, counting the resources of `Kind` it holds.
template <Resource Kind>
struct counted {
    static void count(int delta) noexcept { count_resource(Kind, delta); }
};
template <class T, auto Close, Resource Kind, T Invalid = T{}>
using unique_any = platform::unique_any<T, Close, Invalid, counted<Kind>>;

namespace detail {
inline void delete_gdi_object(HGDIOBJ object) noexcept { DeleteObject(object); }
inline void destroy_window(HWND window) noexcept { DestroyWindow(window); }
inline void destroy_icon(HICON icon) noexcept { DestroyIcon(icon); }
inline BOOL unhook(HHOOK hook) noexcept { return UnhookWindowsHookEx(hook); }
inline void close_handle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void free_library(HMODULE module) noexcept { FreeLibrary(module); }
inline void delete_dc(HDC dc) noexcept { DeleteDC(dc); }
inline void free_bstr(BSTR text) noexcept { SysFreeString(text); }
inline bool close_crt_fd(int fd) noexcept { return _close(fd) == 0; }
}  // namespace detail

using unique_hwnd = unique_any<HWND, &detail::destroy_window, Resource::kWindow>;
using unique_hfont = unique_any<HFONT, &detail::delete_gdi_object, Resource::kGdiObject>;
using unique_hbitmap = unique_any<HBITMAP, &detail::delete_gdi_object, Resource::kGdiObject>;
using unique_hicon = unique_any<HICON, &detail::destroy_icon, Resource::kIcon>;
using unique_hhook = unique_any<HHOOK, &detail::unhook, Resource::kHook>;
using unique_hmodule = unique_any<HMODULE, &detail::free_library, Resource::kModule>;
using unique_hdc_memory = unique_any<HDC, &detail::delete_dc, Resource::kMemoryDc>;
using unique_bstr = unique_any<BSTR, &detail::free_bstr, Resource::kBstr>;
// A kernel handle from CreateFile; take it through null_if_invalid, since
// CreateFile's "none" is INVALID_HANDLE_VALUE, not null.
using unique_file_handle = unique_any<HANDLE, &detail::close_handle, Resource::kFileHandle>;
inline HANDLE null_if_invalid(HANDLE handle) noexcept { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
// A C runtime file descriptor (_open_osfhandle's), which closes its handle too.
using unique_crt_fd = unique_any<int, &detail::close_crt_fd, Resource::kFileHandle, -1>;

// A window's device context from GetDC, given back with ReleaseDC.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {
        if (dc_) count_resource(Resource::kWindowDc, 1);
    }
    ~unique_window_dc() {
        if (dc_) {
            ReleaseDC(window_, dc_);
            count_resource(Resource::kWindowDc, -1);
        }
    }
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class unique_paint_dc {
public:
    explicit unique_paint_dc(HWND window) noexcept : window_(window) {
        dc_ = BeginPaint(window, &paint_);
        count_resource(Resource::kPaintDc, 1);
    }
    ~unique_paint_dc() {
        EndPaint(window_, &paint_);
        count_resource(Resource::kPaintDc, -1);
    }
    unique_paint_dc(const unique_paint_dc&) = delete;
    unique_paint_dc& operator=(const unique_paint_dc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// An object selected into a device context, put back on destruction.
class unique_select {
public:
    unique_select(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~unique_select() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    unique_select(const unique_select&) = delete;
    unique_select& operator=(const unique_select&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window class registered by this module, unregistered with it (a class
// left registered would outlive an unloaded library and point at its code).
class unique_window_class {
public:
    unique_window_class() = default;
    unique_window_class(ATOM atom, HINSTANCE instance) noexcept : atom_(atom), instance_(instance) {
        if (atom_) count_resource(Resource::kWindowClass, 1);
    }
    ~unique_window_class() {
        if (atom_) {
            UnregisterClassW(MAKEINTATOM(atom_), instance_);
            count_resource(Resource::kWindowClass, -1);
        }
    }
    unique_window_class(const unique_window_class&) = delete;
    unique_window_class& operator=(const unique_window_class&) = delete;
    explicit operator bool() const noexcept { return atom_ != 0; }

private:
    ATOM atom_ = 0;
    HINSTANCE instance_ = nullptr;
};

// A COM interface pointer: one reference, released on destruction.
template <class T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept {
        if (p_) {
            p_->Release();
            count_resource(Resource::kComReference, -1);
        }
        p_ = nullptr;
    }

    // For an API that hands out a new reference through T** (or void**):
    // `api(x.put())`. The reference received is counted at the end of the
    // full expression.
    class put_proxy {
    public:
        explicit put_proxy(com_ptr* owner) noexcept : owner_(owner) {}
        ~put_proxy() {
            if (owner_->p_) count_resource(Resource::kComReference, 1);
        }
        put_proxy(const put_proxy&) = delete;
        put_proxy& operator=(const put_proxy&) = delete;
        operator T**() const noexcept { return &owner_->p_; }
        operator void**() const noexcept { return reinterpret_cast<void**>(&owner_->p_); }

    private:
        com_ptr* owner_;
    };
    put_proxy put() noexcept {
        reset();
        return put_proxy(this);
    }

private:
    T* p_ = nullptr;
};

// A VARIANT, cleared on destruction.
class unique_variant {
public:
    unique_variant() noexcept {
        VariantInit(&value_);
        count_resource(Resource::kVariant, 1);
    }
    ~unique_variant() {
        VariantClear(&value_);
        count_resource(Resource::kVariant, -1);
    }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    VARIANT* get() noexcept { return &value_; }
    // Empties it (a string held is freed), for a new value.
    void clear() noexcept { VariantClear(&value_); }

private:
    VARIANT value_;
};

// The COM apartment's owner is platform::SingleThreadedApartment
// (platform/gui_thread.h); it counts as Resource::kApartment.

}  // namespace platform::win32
