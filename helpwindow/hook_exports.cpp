// The tooltip capture exports of the indicator library: thin forwarders.
#include <cstdint>

#include "helpwindow/hook_manager.h"
#include "msx/msx_records.h"

extern "C" {

MSX_API int32_t SubclassWindow(int32_t hWnd, int32_t* res) {
    return barsight::hooks::subclass_window(hWnd, res);
}
MSX_API int32_t UnsubclassWindow(int32_t handle) { return barsight::hooks::unsubclass_window(handle); }
MSX_API void KillSubClassing() { barsight::hooks::kill_subclassing(); }
MSX_API int32_t GetFromQueue(int32_t handle, int32_t* EventType, int32_t* Param1, int32_t* Param2,
                             int32_t* Param3, int32_t* EventLocalTime, MqlStr* desc) {
    return barsight::hooks::get_from_queue(handle, EventType, Param1, Param2, Param3,
                                           EventLocalTime, desc);
}

}  // extern "C"
