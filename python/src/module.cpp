// barsight._core: the plug-in's calculations and the engine for Python. The
// calculations run in the frame the charting host gives them (MSX records
// over float32 arrays), on the engine linked into this module, so every
// value is the one the plug-in returns for the same bars. Checking the
// caller's input (columns, NaN, rising dates) is the Python side's; this
// side refuses only what would make a call unsafe (arrays of unequal
// length). The GIL is released while a calculation runs; the engine keeps
// each instance under its own lock, so calls from several threads are safe.
// A long evaluation answers Ctrl-C while it runs.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/feed.h"
#include "evaluation/evaluate.h"
#include "harness/chart_data.h"
#include "boundary/BarsightPlugin_catalogue.h"
#include "services/globals.h"
#include "services/sign_filter.h"

namespace py = pybind11;

namespace {

// Whether the interpreter has begun to end (Py_FinalizeEx is under way).
bool interpreter_ending() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// A thread that is to touch no Python object again: it waits until the
// process is gone.
[[noreturn]] void wait_for_exit() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// The GIL released while a calculation runs, taken back after it.
//
// When the interpreter ends while a thread is in here (a daemon thread, the
// main thread returning), CPython ends any other thread that asks for the
// GIL back, or is waiting for it: PyEval_RestoreThread calls pthread_exit,
// which glibc carries out as a forced unwind of the thread's stack. Through
// a noexcept destructor (pybind11's gil_scoped_release has one) that unwind
// is std::terminate, and the process aborts as it exits; let through, it
// would release the call's Python objects without the GIL while the
// interpreter is being torn down (a crash now and then). So a thread does
// neither: finding the interpreter ending it does not ask for the GIL, and
// one ended while it waits stops the unwind right here. Either way it
// waits, touching nothing of Python's, until the process is gone (what
// CPython itself does from 3.14).
//
// A thread that already held the GIL with the interpreter ending is the
// one ending it (any other would have been stopped taking the GIL): that
// one takes it back as usual.
class ReleasedGil {
public:
    ReleasedGil() : ending_before_(interpreter_ending()), state_(PyEval_SaveThread()) {}
    ReleasedGil(const ReleasedGil&) = delete;
    ReleasedGil& operator=(const ReleasedGil&) = delete;
    ~ReleasedGil() { take(); }

    // The GIL for a moment during the calculation (`hold` runs with it),
    // then released again.
    template <class Hold>
    void briefly(Hold&& hold) {
        take();
        hold();
        state_ = PyEval_SaveThread();
    }

private:
    void take() {
        PyThreadState* const state = state_;
        state_ = nullptr;
        if (state == nullptr) return;  // held already
        if (!ending_before_ && interpreter_ending()) wait_for_exit();
        try {
            PyEval_RestoreThread(state);
        } catch (...) {
            // The forced unwind of pthread_exit: never rethrown (it would
            // abort) and never ended, as the thread never returns.
            wait_for_exit();
        }
    }
    bool ending_before_;
    PyThreadState* state_;
};

// Whether this is the thread Python runs signal handlers on (call with the
// GIL held).
bool on_main_thread() {
    const py::object main = py::module_::import("threading").attr("main_thread")();
    return main.attr("ident").cast<unsigned long>() == PyThread_get_thread_ident();
}

// Whether a pending signal (Ctrl-C) ends a long calculation, asked between
// its steps with the GIL released. Python runs signal handlers on the main
// thread only, so only there is the GIL taken, and at most every 50 ms: a
// calculation then seldom waits for the GIL. Once a handler has raised
// (KeyboardInterrupt), its exception is set and every later question is
// answered yes.
class Interruption {
public:
    Interruption(ReleasedGil& released, bool main_thread)
        : released_(released), main_thread_(main_thread), asked_(Clock::now()) {}

    bool operator()() {
        if (!main_thread_ || raised_) return raised_;
        const Clock::time_point now = Clock::now();
        if (now - asked_ < kEvery) return false;
        asked_ = now;
        released_.briefly([&] { raised_ = PyErr_CheckSignals() != 0; });
        return raised_;
    }
    // Whether a handler raised: its exception is set, to be raised with the GIL.
    bool raised() const { return raised_; }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kEvery{50};
    ReleasedGil& released_;
    bool main_thread_;
    bool raised_ = false;
    Clock::time_point asked_;
};

// float32 arrays as the host holds a series (C order; other dtypes are
// converted once, float32 ones are read where they are).
using Floats = py::array_t<float, py::array::c_style | py::array::forcecast>;
using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Ints = py::array_t<int32_t, py::array::c_style | py::array::forcecast>;
using Days = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

// The engine linked into this module, reached as VSAInd reaches the library.
int32_t checked_length(const std::vector<const py::array*>& arrays) {
    const py::ssize_t n = arrays.front()->size();
    for (const py::array* a : arrays) {
        if (a->ndim() != 1) throw py::value_error("every series must be one-dimensional");
        if (a->size() != n) throw py::value_error("every series must have as many values as the close");
    }
    if (n > std::numeric_limits<int32_t>::max() / 2) throw py::value_error("too many bars for one chart");
    return static_cast<int32_t>(n);
}

void check_periods(int32_t periods) {
    if (periods < 1 || periods > spreadcore::kMaxPeriods) throw py::value_error("periods must be 1 to 10000");
}

// One chart as the host hands it to a calculation: the price records over
// the caller's arrays, the result array and the argument records.
class Frame {
public:
    Frame(const Floats& high, const Floats& low, const Floats& close, const Floats& volume,
          const std::optional<std::string>& symbol)
        : n_(checked_length({&high, &low, &close, &volume})), values_(static_cast<std::size_t>(n_) + 1, 0.0f) {
        std::memset(&data_, 0, sizeof data_);
        const auto series = [&](const Floats& a) {
            return MSXDataInfoRec{const_cast<float*>(a.data()), 0, n_ - 1};
        };
        data_.sHigh = series(high);
        data_.sLow = series(low);
        data_.sClose = series(close);
        data_.sVol = series(volume);
        if (symbol) {
            symbol_ = *symbol;
            data_.pszSymbol = symbol_.data();
        }
        result_series_ = {values_.data(), 0, -1};
        std::memset(&result_, 0, sizeof result_);
        result_.psResultArray = &result_series_;
        std::memset(&numerics_, 0, sizeof numerics_);
        std::memset(&arrays_, 0, sizeof arrays_);
        std::memset(&strings_, 0, sizeof strings_);
        std::memset(&customs_, 0, sizeof customs_);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    int32_t size() const { return n_; }
    void add_numeric(float v) { numerics_.fNumerics[numerics_.iNRecs++] = v; }
    void add_array(const Floats& a, int32_t first, int32_t last) {
        array_records_[arrays_.iNRecs] = {const_cast<float*>(a.data()), first, last};
        arrays_.psDataInfoRecs[arrays_.iNRecs] = &array_records_[arrays_.iNRecs];
        ++arrays_.iNRecs;
    }
    msx::CalcArgs args(const char* name) {
        return {&data_, &arrays_, &numerics_, &strings_, &customs_, &result_, name};
    }
    // The result: values over the valid range, NaN elsewhere; raises with
    // the plug-in's message when the calculation failed.
    py::array_t<float> take(int32_t code) const {
        if (code != msx::kSuccess) throw py::value_error(result_.szExtendedError);
        py::array_t<float> out(n_);
        float* o = out.mutable_data();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        for (int32_t i = 0; i < n_; ++i)
            o[i] = i >= result_series_.iFirstValid && i <= result_series_.iLastValid ? values_[static_cast<std::size_t>(i)] : nan;
        return out;
    }
    const char* message() const { return result_.szExtendedError; }

private:
    int32_t n_;
    std::vector<float> values_;  // one more than the bars: a zero-bar chart still has an array
    std::string symbol_;
    MSXDataRec data_;
    MSXDataInfoRec result_series_;
    MSXResultRec result_;
    MSXNumericArgsArray numerics_;
    MSXDataInfoRec array_records_[msx::kMaxArgs]{};
    MSXDataInfoRecArgsArray arrays_;
    MSXStringArgsArray strings_;
    MSXCustomArgsArray customs_;
};

// The signal filter over the codes -kFilterSpan to kFilterSpan (every code
// the engine gives), looked up: a call a bar would cost a good part of what
// the engine's batch face does.
constexpr int32_t kFilterSpan = 255;
const std::array<int32_t, 2 * kFilterSpan + 1>& sign_filter_table() {
    static const auto table = [] {
        std::array<int32_t, 2 * kFilterSpan + 1> t{};
        for (int32_t code = -kFilterSpan; code <= kFilterSpan; ++code)
            t[static_cast<std::size_t>(code + kFilterSpan)] = barsight::Globals::SignFilter(code);
        return t;
    }();
    return table;
}

// A code as VSAInd shows it (the signal filter, looked up where it can be).
int32_t filtered(int32_t code) {
    return code >= -kFilterSpan && code <= kFilterSpan
               ? sign_filter_table()[static_cast<std::size_t>(code + kFilterSpan)]
               : barsight::Globals::SignFilter(code);
}

// Codes as VSAInd shows them, in place: every code the engine gives is
// in the table, so the one test a code is foreseen every time (a test of
// each code for 0 would not be).
void filter_codes(int32_t* codes, std::size_t count) {
    const int32_t* const table = sign_filter_table().data();
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t code = codes[i];
        const auto at = static_cast<uint32_t>(code + kFilterSpan);
        codes[i] = at <= 2 * kFilterSpan ? table[at] : barsight::Globals::SignFilter(code);
    }
}

// VSAInd's codes for the bars at averaging length `periods`: the engine's
// batch face fed as a chart feeds it, each code through the signal filter.
// (The symbol is not read by the engine; it is taken for VSAInd's sake.)
py::array_t<int32_t> vsa_signals(const Floats& high, const Floats& low, const Floats& close,
                                 const Floats& volume, int32_t periods,
                                 const std::optional<std::string>& /*symbol*/) {
    const int32_t n = checked_length({&high, &low, &close, &volume});
    check_periods(periods);
    py::array_t<int32_t> out(n);
    int32_t* o = out.mutable_data();
    {
        ReleasedGil unlocked;
        spreadcore::feed_series(high.data(), low.data(), close.data(), volume.data(), static_cast<std::size_t>(n),
                                periods, o);
        filter_codes(o, static_cast<std::size_t>(n));
    }
    return out;
}

// vsa_signals for columns the package has not looked at yet (float32 or
// float64, as a frame holds them): the codes of the values rounded to
// float32 as the host holds them, each value checked as the engine reads
// and rounds it, as the package's reading checks it (a number, within
// float32, a volume not negative); None when a value fails, for the
// package's full reading to name it.
template <class Value>
py::object vsa_signals_checked(const py::array_t<Value, py::array::c_style>& high,
                               const py::array_t<Value, py::array::c_style>& low,
                               const py::array_t<Value, py::array::c_style>& close,
                               const py::array_t<Value, py::array::c_style>& volume, int32_t periods) {
    const int32_t n = checked_length({&high, &low, &close, &volume});
    check_periods(periods);
    const auto size = static_cast<std::size_t>(n);
    py::array_t<int32_t> out(n);
    int32_t* o = out.mutable_data();
    bool good = false;
    {
        ReleasedGil unlocked;
        // float64 rounded to float32 as the engine reads it; float32 as it
        // is; each value checked as it is read.
        good = spreadcore::feed_series_checked(high.data(), low.data(), close.data(), volume.data(), size, periods, o);
        if (good) filter_codes(o, size);
    }
    if (!good) return py::none();
    return std::move(out);
}

// The background columns, in the order of kBackgroundColumns.
constexpr const char* kBackgroundColumns[] = {"trend_short", "trend_mid",         "trend_long",        "climax_side",
                                              "climax_age",  "range_side",        "range_low",         "range_high",
                                              "support",     "resistance",        "spread_to_average", "volume_to_average",
                                              "close_position"};

// The bar's spread and volume (after the feed's floor) against the averages
// the rules measured them by (NaN where an average is 0).
double spread_to_average(double high, double low, const spreadcore::BackgroundView& v) {
    return v.mean_spread > 0 ? (high - low) / v.mean_spread : std::numeric_limits<double>::quiet_NaN();
}
double volume_to_average(double volume, const spreadcore::BackgroundView& v) {
    return v.mean_volume > 0 ? spreadcore::fed_volume(volume) / v.mean_volume : std::numeric_limits<double>::quiet_NaN();
}

// vsa_signals' codes and each bar's background as the engine read it (the
// engine's batch face fed as a chart feeds it): a dict of the codes
// ("code") and the background's columns, as arrays (int8 trends and sides,
// int32 climax ages with -1 for none, float64 levels with NaN for none).
py::dict vsa_background(const Floats& high, const Floats& low, const Floats& close, const Floats& volume,
                        int32_t periods) {
    const int32_t n = checked_length({&high, &low, &close, &volume});
    check_periods(periods);
    const auto size = static_cast<std::size_t>(n);
    py::array_t<int32_t> codes(n), climax_age(n);
    py::array_t<int8_t> trend_short(n), trend_mid(n), trend_long(n), climax_side(n), range_side(n);
    py::array_t<double> range_low(n), range_high(n), support(n), resistance(n);
    py::array_t<double> spread_ratio(n), volume_ratio(n), position(n);
    int32_t* const o = codes.mutable_data();
    int32_t* const age = climax_age.mutable_data();
    int8_t* const ts = trend_short.mutable_data();
    int8_t* const tm = trend_mid.mutable_data();
    int8_t* const tl = trend_long.mutable_data();
    int8_t* const cs = climax_side.mutable_data();
    int8_t* const rs = range_side.mutable_data();
    double* const rl = range_low.mutable_data();
    double* const rh = range_high.mutable_data();
    double* const su = support.mutable_data();
    double* const re = resistance.mutable_data();
    double* const sr = spread_ratio.mutable_data();
    double* const vr = volume_ratio.mutable_data();
    double* const cp = position.mutable_data();
    {
        ReleasedGil unlocked;
        std::vector<spreadcore::BackgroundView> views(size);
        spreadcore::feed_series_background(high.data(), low.data(), close.data(), volume.data(), size, periods, o,
                                           views.data());
        for (std::size_t i = 0; i < size; ++i) {
            o[i] = filtered(o[i]);
            const spreadcore::BackgroundView& v = views[i];
            ts[i] = v.trend_short, tm[i] = v.trend_mid, tl[i] = v.trend_long;
            cs[i] = v.climax_side, age[i] = v.climax_age, rs[i] = v.range_side;
            rl[i] = v.range_low, rh[i] = v.range_high, su[i] = v.support, re[i] = v.resistance;
            sr[i] = spread_to_average(high.data()[i], low.data()[i], v);
            vr[i] = volume_to_average(volume.data()[i], v);
            cp[i] = v.close_position;
        }
    }
    py::dict out;
    out["code"] = codes;
    const py::object columns[] = {trend_short, trend_mid,  trend_long,   climax_side,  climax_age,
                                  range_side,  range_low,  range_high,   support,      resistance,
                                  spread_ratio, volume_ratio, position};
    for (std::size_t k = 0; k < std::size(kBackgroundColumns); ++k) out[kBackgroundColumns[k]] = columns[k];
    return out;
}

// A bar's background as a tuple in the order of kBackgroundColumns.
py::tuple background_tuple(const spreadcore::BackgroundView& v, double high, double low, double volume) {
    return py::make_tuple(v.trend_short, v.trend_mid, v.trend_long, v.climax_side, v.climax_age, v.range_side,
                          v.range_low, v.range_high, v.support, v.resistance, spread_to_average(high, low, v),
                          volume_to_average(volume, v), v.close_position);
}

// Each bar's provisional code: what a live chart showed at that bar's close,
// its next close not yet known (the engine's stream face, filtered as
// VSAInd filters). Bar i's code in vsa_signals is the same bar judged once
// bar i + 1 has closed.
py::array_t<int32_t> vsa_provisional(const Floats& high, const Floats& low, const Floats& close,
                                     const Floats& volume, int32_t periods) {
    const int32_t n = checked_length({&high, &low, &close, &volume});
    check_periods(periods);
    py::array_t<int32_t> out(n);
    int32_t* o = out.mutable_data();
    {
        ReleasedGil unlocked;
        spreadcore::Stream stream(periods);
        const float* h = high.data();
        const float* l = low.data();
        const float* c = close.data();
        const float* v = volume.data();
        for (int32_t i = 0; i < n; ++i) o[i] = filtered(stream.push(h[i], l[i], c[i], v[i]));
    }
    return out;
}

// A local indicator by its export name, with numeric arguments and data
// arrays (values, first valid, last valid).
py::array_t<float> calculate(const std::string& name, const Floats& high, const Floats& low,
                             const Floats& close, const Floats& volume, const std::vector<float>& numerics,
                             const std::vector<std::tuple<Floats, int32_t, int32_t>>& arrays) {
    const msx::FunctionRow* row = nullptr;
    for (const msx::FunctionRow& r : barsight::catalogue::kCatalogue)
        if (name == r.name) row = &r;
    if (row == nullptr) throw py::value_error("no function " + name);
    if (numerics.size() > msx::kMaxArgs || arrays.size() > msx::kMaxArgs)
        throw py::value_error("at most 9 arguments of a kind");
    Frame frame(high, low, close, volume, std::nullopt);
    for (float v : numerics) frame.add_numeric(v);
    for (const auto& [values, first, last] : arrays) {
        if (values.ndim() != 1 || values.size() != frame.size())
            throw py::value_error("a data-array argument must have as many values as the close");
        frame.add_array(values, first, last);
    }
    int32_t code = 0;
    {
        ReleasedGil unlocked;
        code = row->calc(frame.args(row->name));
    }
    return frame.take(code);
}

// Wilder's average true range as the host computes it for a data-array
// argument: (values, first valid).
std::tuple<py::array_t<float>, int32_t> wilder_atr(const Floats& high, const Floats& low, const Floats& close,
                                                   int periods) {
    const int32_t n = checked_length({&high, &low, &close});
    harness::ChartData chart;
    chart.high.assign(high.data(), high.data() + n);
    chart.low.assign(low.data(), low.data() + n);
    chart.close.assign(close.data(), close.data() + n);
    chart.dates.resize(static_cast<std::size_t>(n));
    int first = 0;
    std::vector<float> atr;
    {
        ReleasedGil unlocked;
        atr = harness::wilder_atr(chart, periods, &first);
    }
    py::array_t<float> out(n);
    std::copy(atr.begin(), atr.end(), out.mutable_data());
    return {out, first};
}

// CalcVolumeColor on every bar from the third (the first two have no two
// bars before them: class 0), as the chart colours volume.
py::array_t<int32_t> volume_colour(const Doubles& volume, const Doubles& close) {
    const int32_t n = checked_length({&volume, &close});
    py::array_t<int32_t> out(n);
    int32_t* o = out.mutable_data();
    const double* v = volume.data();
    const double* c = close.data();
    {
        ReleasedGil unlocked;
        for (int32_t i = 0; i < n; ++i)
            o[i] = i < 2 ? 0 : barsight::volume_color(v[i], v[i - 1], v[i - 2], c[i], c[i - 1]);
    }
    return out;
}

// The engine fed as the MetaTrader indicator feeds it: each closed bar
// taken with its next close unknown, and judged again when that close
// arrives (the engine's stream face). The codes are VSAInd's: 0 up to the
// warm-up, then filtered.
class Feed {
public:
    Feed(int32_t periods, bool float32) : stream_((check_periods(periods), periods)), float32_(float32) {}

    // The new bar's provisional code (its next close not yet known).
    int32_t push(double high, double low, double close, double volume) {
        last_high_ = value(high), last_low_ = value(low), last_volume_ = value(volume);
        return barsight::Globals::SignFilter(stream_.push(last_high_, last_low_, value(close), last_volume_));
    }
    // The newest bar's code judged with its next close.
    int32_t revise(double next_close) const {
        if (stream_.bars() == 0) throw py::value_error("revise: no bar has been pushed");
        return barsight::Globals::SignFilter(stream_.revise(value(next_close)));
    }
    long bars() const { return stream_.bars(); }
    // The background the newest bar was judged against.
    py::tuple background() const {
        if (stream_.bars() == 0) throw py::value_error("background: no bar has been pushed");
        return background_tuple(stream_.background(), last_high_, last_low_, last_volume_);
    }

private:
    // The value as the charting host holds it (float32), or as given. The
    // float goes through memory: GCC 12 at -O2 and above, vectorising the
    // high and low of push as a pair, dropped their rounding (the levels of
    // the bars' background then held the unrounded prices).
    double value(double v) const {
        if (!float32_) return v;
        const volatile float rounded = static_cast<float>(v);
        return static_cast<double>(rounded);
    }
    spreadcore::Stream stream_;
    bool float32_;
    double last_high_ = 0, last_low_ = 0, last_volume_ = 0;  // the newest bar's, as pushed
};

evaluation::Entry entry_of(const std::string& text) {
    if (text == "open") return evaluation::Entry::open;
    if (text == "close") return evaluation::Entry::close;
    if (text == "same") return evaluation::Entry::same;
    throw py::value_error("entry must be 'open', 'close' or 'same', not '" + text + "'");
}

// The evaluation's statistics (msxhost evaluate's) over charts given as
// (days, open, close, codes): the rows' columns and the run's figures.
py::dict evaluate(const std::vector<std::tuple<std::string, Days, Ints, Doubles, Doubles, Ints>>& charts,
                  const std::vector<int>& horizons, const std::string& entry, const std::string& baseline,
                  long min_count, long min_episodes, int bootstrap, uint64_t seed) {
    evaluation::EvaluateOptions options;
    options.horizons = horizons;
    options.entry = entry_of(entry);
    if (!evaluation::parse_baseline(baseline, &options.baseline))
        throw py::value_error("baseline must be 'file', 'file-year' or 'date', not '" + baseline + "'");
    options.min_count = min_count;
    options.min_episodes = min_episodes;
    options.bootstrap = bootstrap;
    options.seed = seed;
    std::vector<evaluation::CodedSeries> series;
    for (const auto& [name, days, minutes, open, close, codes] : charts) {
        const int32_t n = checked_length({&days, &open, &close, &codes});
        if (minutes.size() != 0 && minutes.size() != static_cast<py::ssize_t>(n)) throw py::value_error(name + ": minutes of another length");
        evaluation::CodedSeries s;
        s.name = name;
        s.days.assign(days.data(), days.data() + n);
        s.minutes.assign(minutes.data(), minutes.data() + minutes.size());
        s.open.assign(open.data(), open.data() + n);
        s.close.assign(close.data(), close.data() + n);
        s.codes.assign(codes.data(), codes.data() + n);
        series.push_back(std::move(s));
    }
    evaluation::Evaluation result;
    const bool main_thread = on_main_thread();
    bool interrupted = false;
    {
        ReleasedGil unlocked;
        Interruption interruption(unlocked, main_thread);
        options.interrupted = [&] { return interruption(); };
        result = evaluation::evaluate(series, options);
        interrupted = interruption.raised();
    }
    if (interrupted) throw py::error_already_set();
    if (!result.refused.empty()) throw py::value_error("evaluate refused: " + result.refused);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<int32_t> code, horizon;
    std::vector<long> cases, episodes, dates;
    std::vector<std::vector<long>> per_file;
    static const char* const kNames[] = {"mean_pct", "median_pct", "hit_rate_frac", "base_mean_pct",
                                         "base_hit_rate_frac", "diff_pct", "se_pct", "t", "p", "ci_low_pct",
                                         "ci_high_pct", "mde_pct", "adj_ci_low_pct", "adj_ci_high_pct",
                                         "p_adjusted"};
    std::vector<std::vector<double>> columns(std::size(kNames));
    for (const evaluation::EvaluationRow& row : result.rows) {
        code.push_back(row.code);
        horizon.push_back(row.horizon);
        cases.push_back(row.count);
        episodes.push_back(row.episodes);
        dates.push_back(row.dates);
        per_file.push_back(row.per_file);
        const double values[] = {row.mean, row.median, row.hit_rate, row.base_mean, row.base_hit_rate, row.diff,
                                 row.se, row.t, row.p, row.ci_low, row.ci_high, row.mde, row.adj_low, row.adj_high,
                                 row.p_adjusted};
        for (std::size_t k = 0; k < columns.size(); ++k) columns[k].push_back(row.stats ? values[k] : nan);
    }
    py::dict out;
    out["code"] = code;
    out["horizon"] = horizon;
    out["cases"] = cases;
    out["episodes"] = episodes;
    out["dates"] = dates;
    for (std::size_t k = 0; k < columns.size(); ++k) out[kNames[k]] = columns[k];
    out["per_file"] = per_file;
    py::list notes;
    for (const evaluation::FileNote& note : result.notes) {
        py::dict d;
        d["name"] = note.name;
        d["bars"] = note.bars;
        d["big_moves"] = note.big_moves;
        d["open_is_previous_close"] = note.open_is_previous_close;
        notes.append(d);
    }
    out["notes"] = notes;
    out["baseline"] = std::string(evaluation::baseline_name(result.baseline));
    out["block_length"] = result.block_length;
    out["blocks"] = result.blocks;
    out["family"] = result.family;
    out["critical"] = result.critical;
    out["files"] = result.files;
    out["bar_dates"] = result.dates;
    out["intraday"] = result.intraday;
    out["left_out"] = result.left_out;
    out["method"] = std::string(evaluation::kAdjustmentMethod);
    return out;
}

// The engine's batch face on the bars, nothing around it: the benchmark's
// yardstick for vsa_signals (the sum of the codes).
int64_t engine_series(const Doubles& high, const Doubles& low, const Doubles& close, const Doubles& volume,
                      int32_t periods) {
    const int32_t n = checked_length({&high, &low, &close, &volume});
    check_periods(periods);
    std::vector<int32_t> codes(static_cast<std::size_t>(n));
    ReleasedGil unlocked;
    spreadcore::analyse_series(high.data(), low.data(), close.data(), volume.data(), codes.size(), periods,
                               codes.data());
    int64_t sum = 0;
    for (const int32_t code : codes) sum += code;
    return sum;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The Barsight plug-in's calculations and engine (use the barsight package).";
    m.attr("MIN_REPLICATES") = evaluation::kMinReplicates;
    m.attr("MAX_REPLICATES") = evaluation::kMaxReplicates;
    m.def("vsa_signals", &vsa_signals, py::arg("high"), py::arg("low"), py::arg("close"), py::arg("volume"),
          py::arg("periods"), py::arg("symbol") = std::nullopt);
    m.def("vsa_signals_checked", &vsa_signals_checked<double>, py::arg("high"), py::arg("low"), py::arg("close"),
          py::arg("volume"), py::arg("periods"));
    m.def("vsa_signals_checked", &vsa_signals_checked<float>, py::arg("high"), py::arg("low"), py::arg("close"),
          py::arg("volume"), py::arg("periods"));
    m.def("vsa_background", &vsa_background, py::arg("high"), py::arg("low"), py::arg("close"), py::arg("volume"),
          py::arg("periods"));
    py::tuple background_columns(std::size(kBackgroundColumns));
    for (std::size_t k = 0; k < std::size(kBackgroundColumns); ++k) background_columns[k] = kBackgroundColumns[k];
    m.attr("BACKGROUND_COLUMNS") = background_columns;
    m.def("vsa_provisional", &vsa_provisional, py::arg("high"), py::arg("low"), py::arg("close"),
          py::arg("volume"), py::arg("periods"));
    m.def("calculate", &calculate, py::arg("name"), py::arg("high"), py::arg("low"), py::arg("close"),
          py::arg("volume"), py::arg("numerics"), py::arg("arrays"));
    m.def("wilder_atr", &wilder_atr, py::arg("high"), py::arg("low"), py::arg("close"), py::arg("periods"));
    m.def("volume_colour", &volume_colour, py::arg("volume"), py::arg("close"));
    m.def("evaluate", &evaluate, py::arg("charts"), py::arg("horizons"), py::arg("entry"), py::arg("baseline"),
          py::arg("min_count"), py::arg("min_episodes"), py::arg("bootstrap"), py::arg("seed"));
    m.def("engine_series", &engine_series, py::arg("high"), py::arg("low"), py::arg("close"), py::arg("volume"),
          py::arg("periods"));
    py::class_<Feed>(m, "Feed")
        .def(py::init<int32_t, bool>(), py::arg("periods"), py::arg("float32"))
        .def("push", &Feed::push, py::arg("high"), py::arg("low"), py::arg("close"), py::arg("volume"))
        .def("revise", &Feed::revise, py::arg("next_close"))
        .def("background", &Feed::background)
        .def_property_readonly("bars", &Feed::bars);
}
