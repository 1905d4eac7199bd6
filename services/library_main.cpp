// The library's process-wide objects and its load notifications.
//
// On Windows the C runtime constructs these objects before DllMain sees
// process attach and destroys them after it has seen process detach, so the
// debugger output reads: "Global Data Table Created\n", "VSA DLL Process
// Attach", ..., "VSA DLL Process Detach", then the table's destructor lines.
// Posix has no load notifications: a static object defined after the table
// writes the process lines instead, in the same order (objects of one file
// are constructed in order and destroyed in reverse).
#include "platform/debug_output.h"
#include "services/value_table.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace barsight {

tsDataTable dttsDataTable;

}  // namespace barsight

#if defined(_WIN32)

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_DETACH: platform::debug_output("VSA DLL Process Detach"); break;
        case DLL_PROCESS_ATTACH: platform::debug_output("VSA DLL Process Attach"); break;
        case DLL_THREAD_ATTACH: platform::debug_output("VSA DLL Thread Attach"); break;
        case DLL_THREAD_DETACH: platform::debug_output("VSA DLL Thread Detach"); break;
        default: break;
    }
    return TRUE;
}

#else

namespace {

struct LoadNotifications {
    LoadNotifications() { platform::debug_output("VSA DLL Process Attach"); }
    ~LoadNotifications() { platform::debug_output("VSA DLL Process Detach"); }
};

const LoadNotifications load_notifications;

}  // namespace

#endif
