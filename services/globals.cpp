#include "services/globals.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/text_codec.h"
#include "services/sign_filter.h"

namespace barsight {


namespace {
std::atomic<TraceHook> trace_hook{nullptr};
}

void set_trace_hook_for_testing(TraceHook hook) noexcept { trace_hook.store(hook); }
std::atomic<int32_t> Globals::refCount{0};
std::atomic<int32_t> Globals::ID{10};
thread_local char Globals::ch[Globals::kTextBufferSize] = {};

const char* Globals::convertString(const char16_t* text) noexcept {
    std::size_t n = 0;
    if (text != nullptr) {
        for (; text[n] != 0 && n < kTextBufferSize - 1; ++n) {
            if (text[n] >= 256) {
                ch[0] = '\0';
                return ch;
            }
            ch[n] = static_cast<char>(static_cast<unsigned char>(text[n]));
        }
    }
    ch[n] = '\0';
    return ch;
}

std::optional<std::u16string> Globals::convertChar(char* text) {
    return convertChar(static_cast<const char*>(text));
}

std::optional<std::u16string> Globals::convertChar(const char* text) {
    if (text == nullptr) return std::nullopt;
    return platform::decode_narrow(text, std::strlen(text), platform::CodePage::kThreadAnsi);
}

std::optional<std::u16string> Globals::convertChar(const char16_t* text) {
    if (text == nullptr) return std::nullopt;
    return std::u16string(text);
}

void Globals::DebugMessage(const char* text) noexcept {
    if (TraceHook hook = trace_hook.load()) {
        try {
            hook(text != nullptr ? text : "");
        } catch (...) {
        }
        return;
    }
    // Off unless support switched it on; read once, at the first trace text
    // (never while the loader lock is held: no trace text comes from DllMain).
    static const bool trace_on = platform::trace_switch_on();
    if (trace_on) platform::debug_output(text != nullptr ? text : "");
}

void Globals::DebugMessage(const std::string& text) noexcept { DebugMessage(text.c_str()); }

int32_t Globals::SignFilter(int32_t sign) noexcept { return sign_filter(sign); }

namespace services {

namespace {

// Two's-complement step of a counter, without signed overflow.
int32_t wrap_add(int32_t v, int32_t delta) {
    return static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(delta));
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int32_t inc_ref_count() noexcept {
    int32_t v = Globals::refCount.load();
    while (!Globals::refCount.compare_exchange_weak(v, wrap_add(v, 1))) {
    }
    return wrap_add(v, 1);
}

int32_t dec_ref_count() noexcept {
    int32_t v = Globals::refCount.load();
    int32_t next = 0;
    do {
        next = wrap_add(v, -1);
        if (next < 0) next = 0;
    } while (!Globals::refCount.compare_exchange_weak(v, next));
    Globals::DebugMessage("Dec Ref Count = " + std::to_string(next));
    return next;
}

int32_t get_ref_count() noexcept { return Globals::refCount.load(); }

int32_t get_unique_id() noexcept {
    int32_t v = Globals::ID.load();
    while (!Globals::ID.compare_exchange_weak(v, wrap_add(v, 1))) {
    }
    return v;
}

int32_t current_time_utc() noexcept {
    const int64_t seconds = platform::utc_now_ticks() / 10000000;  // toward zero
    if (seconds > INT32_MAX) return INT32_MAX;
    if (seconds < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(seconds);
}

void format_utc(int64_t ticks, char* out) noexcept {
    const int64_t ms_total = floor_div(ticks, 10000);
    const int64_t days = floor_div(ms_total, 86400000);
    const int64_t ms_of_day = ms_total - days * 86400000;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const int64_t z = days + 719468;
    const int64_t era = floor_div(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d:%03d Z", static_cast<int>(year),
                  static_cast<int>(month), static_cast<int>(day),
                  static_cast<int>(ms_of_day / 3600000), static_cast<int>(ms_of_day / 60000 % 60),
                  static_cast<int>(ms_of_day / 1000 % 60), static_cast<int>(ms_of_day % 1000));
    // Years past 9999 would make the text longer; it is cut at 25 characters.
    const std::size_t n = strnlen(text, 25);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

const char* current_utc_text() noexcept {
    char text[32];
    format_utc(platform::utc_now_ticks(), text);
    char16_t wide[32];
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = 0;
    return Globals::convertString(wide);
}

void debug_print(const char* text) noexcept {
    // The text goes out through a 512-character wide buffer: longer texts
    // are cut after 511 characters.
    char16_t buffer[512];
    std::size_t n = 0;
    if (text != nullptr) {
        try {
            const std::size_t bytes = strnlen(text, 511);
            const std::u16string wide =
                platform::decode_narrow(text, bytes, platform::CodePage::kSystemAnsi);
            n = std::min<std::size_t>(wide.size(), 511);
            std::memcpy(buffer, wide.data(), n * sizeof(char16_t));
        } catch (...) {
            n = 0;
        }
    }
    buffer[n] = 0;
    platform::debug_output(buffer);
    platform::debug_output(u"\n");
}

}  // namespace services

}  // namespace barsight
