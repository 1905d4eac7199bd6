// BarsightPlugin.dll's process-wide objects and its load notifications.
//
// The C runtime constructs these objects before DllMain sees process attach
// and destroys them after it has seen process detach, so the debugger output
// reads: "Global Data Table Created\n", "VSA DLL Process Attach", ...,
// "VSA DLL Process Detach", then the table's destructor lines.
#include <windows.h>

#include "platform/debug_output.h"
#include "services/value_table.h"

namespace barsight {

tsDataTable dttsDataTable;

}  // namespace barsight

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
