#include "harness/host_call.h"

#include "harness/chart_data.h"

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define MSXHOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MSXHOST_ASAN 1
#endif
#endif
#ifdef MSXHOST_ASAN
#include <sanitizer/asan_interface.h>
#define MSXHOST_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define MSXHOST_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define MSXHOST_POISON(p, n) ((void)(p), (void)(n))
#define MSXHOST_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace harness {

namespace {

constexpr std::size_t kGuardBytes = 64;
constexpr unsigned char kGuardByte = 0xA5;
constexpr unsigned char kReservedByte = 0xCD;

// A block of host memory with a guard zone on each side. Under
// AddressSanitizer the zones are also poisoned, so a read of them is reported
// as well as a write.
class Guarded {
public:
    explicit Guarded(std::size_t bytes)
        : bytes_(bytes), mem_(new unsigned char[kGuardBytes * 2 + bytes]) {
        std::memset(mem_.get(), kGuardByte, kGuardBytes * 2 + bytes);
    }
    ~Guarded() { unpoison(); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    unsigned char* data() { return mem_.get() + kGuardBytes; }
    void poison() {
        MSXHOST_POISON(mem_.get(), kGuardBytes);
        MSXHOST_POISON(data() + bytes_, kGuardBytes);
    }
    void unpoison() {
        MSXHOST_UNPOISON(mem_.get(), kGuardBytes);
        MSXHOST_UNPOISON(data() + bytes_, kGuardBytes);
    }
    bool intact() const {
        const unsigned char* m = mem_.get();
        for (std::size_t i = 0; i < kGuardBytes; ++i)
            if (m[i] != kGuardByte || m[kGuardBytes + bytes_ + i] != kGuardByte) return false;
        return true;
    }

private:
    std::size_t bytes_;
    std::unique_ptr<unsigned char[]> mem_;
};

// A host float array inside guards, keeping the original values so that a
// write into an input array is caught too.
struct GuardedArray {
    explicit GuardedArray(const std::vector<float>& values)
        : original(values), block(values.size() * sizeof(float)) {
        if (!values.empty()) std::memcpy(block.data(), values.data(), values.size() * sizeof(float));
    }
    float* data() { return reinterpret_cast<float*>(block.data()); }
    bool unchanged() {
        return original.empty() ||
               std::memcmp(block.data(), original.data(), original.size() * sizeof(float)) == 0;
    }
    std::vector<float> original;
    Guarded block;
};

// Builds the guarded records of `call`, runs `invoke(const msx::CalcArgs&)`
// on them and checks every guard afterwards.
template <class Invoke>
CallResult call_guarded(const Invoke& invoke, const CallSpec& call) {
    CallResult out;
    GuardedArray high(call.high.values), low(call.low.values), close(call.close.values),
        volume(call.volume.values);
    const int32_t result_size =
        call.result_size >= 0 ? call.result_size : std::max(call.close.last + 1, 0);
    GuardedArray result_values(
        std::vector<float>(static_cast<std::size_t>(result_size), call.result_fill));

    // Records, each inside its own guards.
    Guarded data_block(sizeof(MSXDataRec));
    auto* data = new (data_block.data()) MSXDataRec;
    std::memset(data, kReservedByte, sizeof *data);
    data->sHigh = {high.data(), call.high.first, call.high.last};
    data->sLow = {low.data(), call.low.first, call.low.last};
    data->sClose = {close.data(), call.close.first, call.close.last};
    data->sVol = {volume.data(), call.volume.first, call.volume.last};
    std::string symbol = call.symbol != nullptr ? call.symbol : "";
    std::vector<char> symbol_text(symbol.begin(), symbol.end());
    symbol_text.push_back('\0');
    data->pszSymbol = call.symbol != nullptr ? symbol_text.data() : nullptr;

    std::vector<std::unique_ptr<GuardedArray>> array_values;
    std::vector<std::unique_ptr<Guarded>> array_records;
    Guarded arrays_block(sizeof(MSXDataInfoRecArgsArray));
    auto* arrays = new (arrays_block.data()) MSXDataInfoRecArgsArray{};
    for (std::size_t k = 0; k < call.arrays.size() && k < msx::kMaxArgs; ++k) {
        const ArrayArg& arg = call.arrays[k];
        if (arg.kind == ArrayArg::Kind::kNullRecord) continue;
        array_values.push_back(std::make_unique<GuardedArray>(arg.series.values));
        array_records.push_back(std::make_unique<Guarded>(sizeof(MSXDataInfoRec)));
        auto* rec = new (array_records.back()->data()) MSXDataInfoRec;
        rec->pfValue = arg.kind == ArrayArg::Kind::kNullValues ? nullptr : array_values.back()->data();
        rec->iFirstValid = arg.series.first;
        rec->iLastValid = arg.series.last;
        arrays->psDataInfoRecs[k] = rec;
    }
    arrays->iNRecs = call.array_count;

    Guarded numerics_block(sizeof(MSXNumericArgsArray));
    auto* numerics = new (numerics_block.data()) MSXNumericArgsArray{};
    for (std::size_t k = 0; k < call.numerics.size() && k < msx::kMaxArgs; ++k)
        numerics->fNumerics[k] = call.numerics[k];
    numerics->iNRecs = call.numeric_count;

    std::vector<std::vector<char>> string_texts;
    Guarded strings_block(sizeof(MSXStringArgsArray));
    auto* strings = new (strings_block.data()) MSXStringArgsArray{};
    for (std::size_t k = 0; k < call.strings.size() && k < msx::kMaxArgs; ++k) {
        string_texts.emplace_back(call.strings[k].begin(), call.strings[k].end());
        string_texts.back().push_back('\0');
        strings->pszStrings[k] = string_texts.back().data();
    }
    strings->reserved = static_cast<int32_t>(std::min(call.strings.size(), msx::kMaxArgs));

    Guarded custom_block(sizeof(MSXCustomArgsArray));
    auto* custom = new (custom_block.data()) MSXCustomArgsArray{};

    Guarded series_block(sizeof(MSXDataInfoRec));
    auto* series = new (series_block.data()) MSXDataInfoRec{result_values.data(), 1234, 5678};
    Guarded result_block(sizeof(MSXResultRec));
    auto* result = new (result_block.data()) MSXResultRec;
    std::memset(result->szExtendedError, kReservedByte, sizeof result->szExtendedError);
    result->psResultArray = series;

    Guarded* blocks[] = {&data_block,   &arrays_block, &numerics_block, &strings_block,
                         &custom_block, &series_block, &result_block};
    GuardedArray* inputs[] = {&high, &low, &close, &volume};
    for (Guarded* b : blocks) b->poison();
    for (GuardedArray* a : inputs) a->block.poison();
    for (auto& a : array_values) a->block.poison();
    for (auto& r : array_records) r->poison();
    result_values.block.poison();

    out.code = invoke(msx::CalcArgs{data, arrays, numerics, strings, custom, result});

    for (Guarded* b : blocks) b->unpoison();
    for (GuardedArray* a : inputs) a->block.unpoison();
    for (auto& a : array_values) a->block.unpoison();
    for (auto& r : array_records) r->unpoison();
    result_values.block.unpoison();

    const char* names[] = {"data record",   "data-array arguments", "numeric arguments",
                           "string arguments", "custom arguments", "result series record",
                           "result record"};
    for (std::size_t i = 0; i < 7; ++i)
        if (!blocks[i]->intact()) out.violations.push_back("write outside the " + std::string(names[i]));
    const char* input_names[] = {"high", "low", "close", "volume"};
    for (std::size_t i = 0; i < 4; ++i) {
        if (!inputs[i]->block.intact())
            out.violations.push_back("write outside the " + std::string(input_names[i]) + " array");
        if (!inputs[i]->unchanged())
            out.violations.push_back("write into the " + std::string(input_names[i]) + " array");
    }
    for (std::size_t i = 0; i < array_values.size(); ++i) {
        if (!array_values[i]->block.intact() || !array_records[i]->intact())
            out.violations.push_back("write outside data-array argument " + std::to_string(i));
        if (!array_values[i]->unchanged())
            out.violations.push_back("write into data-array argument " + std::to_string(i));
    }
    if (!result_values.block.intact()) out.violations.push_back("write outside the result array");
    if (series->pfValue != result_values.data())
        out.violations.push_back("result values pointer changed");

    out.first = series->iFirstValid;
    out.last = series->iLastValid;
    out.values.assign(result_values.data(), result_values.data() + result_size);
    if (out.code != msx::kSuccess) {
        const char* text = result->szExtendedError;
        const std::size_t n = strnlen(text, sizeof result->szExtendedError);
        if (n == sizeof result->szExtendedError)
            out.violations.push_back("message text not terminated within 100 bytes");
        out.message.assign(text, n);
    }
    if (out.code == msx::kSuccess && out.first <= out.last &&
        (out.first < 0 || out.last >= result_size))
        out.violations.push_back("result range " + std::to_string(out.first) + ".." +
                                 std::to_string(out.last) + " outside the result array");
    return out;
}

}  // namespace

CallResult call_function(MSXCalcFunc fn, const CallSpec& call) {
    if (fn == nullptr) {
        CallResult out;
        out.violations.push_back("no such export");
        return out;
    }
    return call_guarded(
        [fn](const msx::CalcArgs& a) {
            return fn(a.data, a.arrays, a.numerics, a.strings, a.customs, a.result);
        },
        call);
}

CallResult call_function(msx::Calc calc, const CallSpec& call) {
    if (calc == nullptr) {
        CallResult out;
        out.violations.push_back("no such calculation");
        return out;
    }
    return call_guarded(calc, call);
}

CallSpec chart_spec(const ChartData& chart) {
    CallSpec call;
    const int32_t last = static_cast<int32_t>(chart.size()) - 1;
    call.high = {chart.high, 0, last};
    call.low = {chart.low, 0, last};
    call.close = {chart.close, 0, last};
    call.volume = {chart.volume, 0, last};
    return call;
}

}  // namespace harness
