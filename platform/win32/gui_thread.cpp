#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <mutex>

#include "platform/gui_thread.h"

namespace platform {

SingleThreadedApartment::SingleThreadedApartment()
    : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

SingleThreadedApartment::~SingleThreadedApartment() {
    if (entered_) CoUninitialize();
}

void prepare_gui_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
    });
}

}  // namespace platform
