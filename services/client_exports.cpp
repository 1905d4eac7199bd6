// The stdcall exports the trading client calls: thin forwarders that never
// let an exception reach the client.
#include <cstdint>

#include "msx/msx_records.h"
#include "services/export_guard.h"
#include "services/globals.h"
#include "services/sign_filter.h"
#include "services/value_table.h"

using barsight::dttsDataTable;
namespace services = barsight::services;

extern "C" {

MSX_API int32_t SignFilter(int32_t sign) { return barsight::Globals::SignFilter(sign); }

MSX_API int32_t CalcVolumeColor(double vol0, double vol1, double vol2, double close0,
                                double close1) {
    return barsight::volume_color(vol0, vol1, vol2, close0, close1);
}

MSX_API int32_t TS_GetID() { return services::next_table_id(); }

MSX_API int32_t TS_CreateTable(int32_t handle) {
    return barsight::value_or_fallback<int32_t>(0, [&] { return dttsDataTable.CreateTable(handle); });
}

MSX_API int32_t TS_SetVSAValue(int32_t handle, int32_t barnumber, int32_t value) {
    return barsight::value_or_fallback<int32_t>(
        0, [&] { return dttsDataTable.AddVSAValue(handle, barnumber, value); });
}

MSX_API int32_t TS_SetConfValue(int32_t handle, int32_t barnumber, int32_t value) {
    return barsight::value_or_fallback<int32_t>(
        0, [&] { return dttsDataTable.AddConfValue(handle, barnumber, value); });
}

MSX_API int32_t TS_GetVSAValue(int32_t handle, int32_t barnumber) {
    return dttsDataTable.GetVSAValue(handle, barnumber);
}

MSX_API int32_t TS_GetConfValue(int32_t handle, int32_t barnumber) {
    return dttsDataTable.GetConfValue(handle, barnumber);
}

MSX_API void TS_MessageBox(const char* mes) { services::message_box(mes); }

MSX_API int32_t IncRefCount() { return services::inc_ref_count(); }
MSX_API int32_t DecRefCount() { return services::dec_ref_count(); }
MSX_API int32_t GetRefCount() { return services::get_ref_count(); }
MSX_API int32_t GetUniqueID() { return services::get_unique_id(); }
MSX_API int32_t GetCurrentTimeUTC() { return services::current_time_utc(); }
MSX_API const char* GetCurrentUTCStr() { return services::current_utc_text(); }
MSX_API void DebugPrint(const char* text) { services::debug_print(text); }

}  // extern "C"
