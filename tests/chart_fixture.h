// Charts for the indicator tests: deterministic price series and host calls.
#pragma once

#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "harness/host_call.h"

namespace testing_support {

constexpr float kUnwritten = -12345.0f;  // result fill that no indicator writes

// A random-walk chart of `bars` bars, valid from `first` to bars - 1, with
// prices that exercise rounding (not round numbers).
inline harness::CallSpec random_chart(int32_t bars, int32_t first, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> step(-1.0f, 1.0f), wick(0.0f, 2.5f), vol(0.0f, 1.0f);
    harness::CallSpec call;
    float price = 100.0f;
    for (int32_t i = 0; i < bars; ++i) {
        price = std::max(1.0f, price + step(gen));
        call.close.values.push_back(price);
        call.high.values.push_back(price + wick(gen));
        call.low.values.push_back(price - wick(gen));
        call.volume.values.push_back(i % 13 == 0 ? 0.0f : 1000.0f + 9000.0f * vol(gen));
    }
    for (auto* s : {&call.high, &call.low, &call.close, &call.volume}) {
        s->first = first;
        s->last = bars - 1;
    }
    call.result_fill = kUnwritten;
    return call;
}

// A chart from explicit closes; high = close + 1, low = close - 1.
inline harness::CallSpec chart_of(const std::vector<float>& closes, int32_t first = 0) {
    harness::CallSpec call;
    for (float c : closes) {
        call.close.values.push_back(c);
        call.high.values.push_back(c + 1.0f);
        call.low.values.push_back(c - 1.0f);
        call.volume.values.push_back(1000.0f);
    }
    const int32_t last = static_cast<int32_t>(closes.size()) - 1;
    for (auto* s : {&call.high, &call.low, &call.close, &call.volume}) {
        s->first = first;
        s->last = last;
    }
    call.result_fill = kUnwritten;
    return call;
}

inline void set_numerics(harness::CallSpec* call, std::vector<float> values) {
    call->numerics = values;
    call->numeric_count = static_cast<int32_t>(values.size());
}

inline bool same_bits(float a, float b) {
    uint32_t x, y;
    std::memcpy(&x, &a, 4);
    std::memcpy(&y, &b, 4);
    return x == y;
}

}  // namespace testing_support
