// The help window exports of the indicator library: thin forwarders.
#include <cstdint>

#include "helpwindow/dialog_control.h"
#include "msx/msx_records.h"

extern "C" {

MSX_API void StartDialog() { barsight::dialog::start(); }
MSX_API void ShowDialog(int32_t hWnd, const char* url) { barsight::dialog::show(hWnd, url); }
MSX_API void HideDialog() { barsight::dialog::hide(); }
MSX_API void KillDialog() { barsight::dialog::kill(); }
MSX_API int32_t IsDialogRunning() { return barsight::dialog::is_running(); }

}  // extern "C"
