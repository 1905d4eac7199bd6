// The recording engine (see fake_engine.h). Built twice: complete, and
// without AnalysePosn (FAKE_ENGINE_PARTIAL) for the missing-entry-point case.
#include "fake_engine.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::mutex mutex;
std::vector<FakeEngineCall> calls;
int32_t next_handle = 7;
std::vector<int32_t> codes;
int32_t analyse_count = 0;
constexpr std::size_t kMaxRecorded = 100000;  // long stress runs only count

void copy_text(char* field, std::size_t size, const char* text) {
    if (text == nullptr) {
        field[0] = '\0';
        return;
    }
    std::strncpy(field, text, size - 1);
    field[size - 1] = '\0';
}

}  // namespace

extern "C" {

MSX_EXPORT void FakeEngine_Configure(int32_t handle, const int32_t* program, int32_t count) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.clear();
    analyse_count = 0;
    next_handle = handle;
    codes.assign(program, program + (count > 0 ? count : 0));
}

MSX_EXPORT int32_t FakeEngine_CallCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int32_t>(calls.size());
}

MSX_EXPORT int32_t FakeEngine_GetCall(int32_t index, FakeEngineCall* out) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index < 0 || index >= static_cast<int32_t>(calls.size())) return 0;
    *out = calls[static_cast<std::size_t>(index)];
    return 1;
}

MSX_API int32_t AddToChartEx(const char* app, const char* symbol, int32_t periods) {
    std::lock_guard<std::mutex> lock(mutex);
    FakeEngineCall call{};
    call.kind = 0;
    call.periods = periods;
    call.symbol_is_null = symbol == nullptr;
    copy_text(call.app, sizeof call.app, app);
    copy_text(call.symbol, sizeof call.symbol, symbol);
    call.handle = next_handle;
    if (calls.size() < kMaxRecorded) calls.push_back(call);
    return next_handle;
}

#ifndef FAKE_ENGINE_PARTIAL
MSX_API int32_t AnalysePosn(int32_t handle, int32_t pos, double date, double open, double high,
                            double low, double close, double volume, double close_next_bar,
                            int32_t confirmanalysis) {
    std::lock_guard<std::mutex> lock(mutex);
    FakeEngineCall call{};
    call.kind = 1;
    call.handle = handle;
    call.pos = pos;
    call.date = date;
    call.open = open;
    call.high = high;
    call.low = low;
    call.close = close;
    call.volume = volume;
    call.next = close_next_bar;
    call.confirm = confirmanalysis;
    if (calls.size() < kMaxRecorded) calls.push_back(call);
    // Codes cycle through the program (the n-th bar gets entry n - 1); by
    // default the bar's pos.
    const std::size_t n = static_cast<std::size_t>(analyse_count++);
    if (codes.empty()) return pos;
    return codes[n % codes.size()];
}
#endif

MSX_API int32_t RemoveFromChart(int32_t handle) {
    std::lock_guard<std::mutex> lock(mutex);
    FakeEngineCall call{};
    call.kind = 2;
    call.handle = handle;
    if (calls.size() < kMaxRecorded) calls.push_back(call);
    return 1;
}

}  // extern "C"
