#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <mutex>

#include "platform/gui_thread.h"
#include "platform/win32/unique_resource.h"

namespace platform {

SingleThreadedApartment::SingleThreadedApartment()
    : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    if (entered_) win32::count_resource(win32::Resource::kApartment, 1);
}

SingleThreadedApartment::~SingleThreadedApartment() {
    if (entered_) {
        CoUninitialize();
        win32::count_resource(win32::Resource::kApartment, -1);
    }
}

void prepare_gui_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
    });
}

}  // namespace platform
