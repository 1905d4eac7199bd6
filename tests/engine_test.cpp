// The Spreadcore engine: each signal rule on a hand-built sequence where it
// must fire and a near miss where it must not, the priority between rules,
// and the instance table through the entry points.
//
// All sequences use periods 3, so the averages are over the 3 bars before
// the tested bar and the trend compares the mean of 3 closes with the mean of
// 9. The background is 10 bars of spread 2 (high = close + 1,
// low = close - 1) and volume 100, closes rising by 1 from 100 (up trend:
// last bars close 107, 108, 109) or falling by 1 from 100 (down trend: last
// closes 93, 92, 91). So: average spread S = 2, average volume V = 100,
// wide >= 3, narrow < 1.6, high volume >= 150, ultra >= 220; in the up trend
// the highest high of the last 3 bars is 110 and the lowest low 106, in the
// down trend 94 and 90.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/analyzer.h"
#include "engine/feed.h"
#include "engine/instances.h"
#include "harness/chart_data.h"
#include "signals/signal_codes.h"

namespace {

using spreadcore::Analyzer;
using spreadcore::Bar;

enum class Background { kUp, kDown };

int32_t signal_of(Background trend, const Bar& bar, double next_close) {
    Analyzer a(3);
    const double slope = trend == Background::kUp ? 1.0 : -1.0;
    for (int k = 0; k < 10; ++k) {
        const double c = 100 + slope * k;
        EXPECT_EQ(a.analyse({c + 1, c - 1, c, 100}, c + slope), 0);
    }
    return a.analyse(bar, next_close);
}

struct RuleCase {
    const char* name;
    Background trend;
    Bar bar;  // high, low, close, volume
    double next_close;
    int32_t expected;
};

const double kNone = spreadcore::kNoNextClose;

TEST(EngineRules, EachRuleFiresAndItsNearMissDoesNot) {
    const RuleCase cases[] = {
        // No supply: down bar (108.6 < 109), spread 1 (narrow), volume 50
        // below both previous bars; low 108.5 is not below the previous low
        // 108, so it is no test. Close position (108.6 - 108.5) / 1 = 0.1.
        {"no supply", Background::kUp, {109.5, 108.5, 108.6, 50}, 109, spreadcore::kNoSupply},
        {"no supply, volume not lower", Background::kUp, {109.5, 108.5, 108.6, 100}, 109, 0},
        // No demand: up bar (109.4 > 109), spread 1, volume 50.
        {"no demand", Background::kUp, {109.5, 108.5, 109.4, 50}, 109, spreadcore::kNoDemand},
        {"no demand, spread 2 not narrow", Background::kUp, {110, 108, 109.4, 50}, 109, 0},
        // Test: low 107.6 below the previous low 108, close position
        // (108.4 - 107.6) / 1 = 0.8, spread 1, volume 50, next close 109 not
        // lower. It is also a down bar that no supply would take: the test
        // has priority.
        {"test (beats no supply)", Background::kUp, {108.6, 107.6, 108.4, 50}, 109,
         spreadcore::kTest},
        {"test unconfirmed on the last bar", Background::kUp, {108.6, 107.6, 108.4, 50}, kNone,
         spreadcore::kTest},
        // The next bar closes lower (108 < 108.4): no test; no supply remains.
        {"test refused by the next bar", Background::kUp, {108.6, 107.6, 108.4, 50}, 108,
         spreadcore::kNoSupply},
        // Upthrust: high 112 above 110, spread 3 >= S, close position
        // 0.5 / 3 = 0.17, volume 150 > V, next close 109 not higher.
        {"upthrust", Background::kUp, {112, 109, 109.5, 150}, 109, spreadcore::kUpthrust},
        {"upthrust refused by a higher next close", Background::kUp, {112, 109, 109.5, 150}, 110,
         0},
        // Buying climax: up trend, volume 250 >= 220, spread 4, high 113 above
        // 110, close position 2 / 4 = 0.5 <= 0.7.
        {"buying climax", Background::kUp, {113, 109, 111, 250}, 110, spreadcore::kBuyingClimax},
        // Closing at the top (0.975) is no climax: effort to rise instead.
        {"buying climax closing on the high", Background::kUp, {113, 109, 112.9, 250}, 113,
         spreadcore::kEffortToRise},
        // Effort to rise: up bar, spread 3, close position 2.8 / 3 = 0.93,
        // volume 160 (high, not ultra).
        {"effort to rise", Background::kUp, {111, 108, 110.8, 160}, 111, spreadcore::kEffortToRise},
        {"effort to rise on volume 140", Background::kUp, {111, 108, 110.8, 140}, 111, 0},
        // Shakeout: spread 4, low 105.5 below 106, close position 3.5 / 4 =
        // 0.875, volume 160, next close 110.
        {"shakeout", Background::kUp, {109.5, 105.5, 109, 160}, 110, spreadcore::kShakeout},
        {"shakeout closing low", Background::kUp, {109.5, 105.5, 107, 160}, 110, 0},
        // Effort to fall: down bar (88.5 < 91), spread 3, close position
        // 0.5 / 3 = 0.17, volume 160.
        {"effort to fall", Background::kDown, {91, 88, 88.5, 160}, 88, spreadcore::kEffortToFall},
        {"effort to fall on volume 140", Background::kDown, {91, 88, 88.5, 140}, 88, 0},
        // Stopping volume: down trend, down bar (90.5 < 91), spread 3, volume
        // 160, close position 2.5 / 3 = 0.83: buying absorbs the selling.
        {"stopping volume", Background::kDown, {91, 88, 90.5, 160}, 90,
         spreadcore::kStoppingVolume},
        {"stopping volume on volume 140", Background::kDown, {91, 88, 90.5, 140}, 90, 0},
        // Selling climax: down trend, volume 250, spread 4, low 86.5 below 90,
        // close position 1.5 / 4 = 0.375 >= 0.3, next close 89 not lower.
        {"selling climax", Background::kDown, {90.5, 86.5, 88, 250}, 89,
         spreadcore::kSellingClimax},
        {"selling climax refused by a lower next close", Background::kDown, {90.5, 86.5, 88, 250},
         87, 0},
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(signal_of(c.trend, c.bar, c.next_close), c.expected) << c.name;
}

TEST(EngineRules, UnusableBarsAnswerZeroAndLeaveTheStateAlone) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Bar bad[] = {{nan, 1, 1, 1},  {2, 1, 1, std::numeric_limits<double>::infinity()},
                       {1, 2, 1.5, 10}, {2, 1, 1.5, -5}};
    for (const Bar& b : bad) {
        Analyzer a(3);
        for (int k = 0; k < 10; ++k) a.analyse({101.0 + k, 99.0 + k, 100.0 + k, 100}, 0);
        EXPECT_EQ(a.analyse(b, 0), 0);
        // The no-supply bar still reads against the same background.
        EXPECT_EQ(a.analyse({109.5, 108.5, 108.6, 50}, 109), spreadcore::kNoSupply);
    }
}

TEST(EngineRules, NoSignalBeforeTheAveragesAreKnown) {
    Analyzer a(5);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(a.analyse({110, 90, 91, 1e6}, 80), 0) << k;
}

// --- the instance table through the entry points -----------------------------

std::vector<Bar> random_bars(int n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> step(0, 1), size(0, 0.6);
    std::vector<Bar> bars;
    double c = 100;
    for (int i = 0; i < n; ++i) {
        c = std::max(5.0, c + step(gen));
        const double h = c + std::fabs(size(gen)) * 2, l = c - std::fabs(size(gen)) * 2;
        bars.push_back({h, l, c, 1000 * std::exp(size(gen))});
    }
    return bars;
}

std::vector<int32_t> feed_alone(const std::vector<Bar>& bars) {
    const int32_t h = AddToChartEx("metastock", "X", 9);
    std::vector<int32_t> codes;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double next = i + 1 < bars.size() ? bars[i + 1].close : -1.0;
        codes.push_back(AnalysePosn(h, static_cast<int32_t>(i) - 1, 2.0 + static_cast<double>(i),
                                    bars[i].close, bars[i].high, bars[i].low, bars[i].close,
                                    bars[i].volume, next, 0));
    }
    EXPECT_EQ(RemoveFromChart(h), 1);
    return codes;
}

TEST(EngineInstances, RefusedOpensAndUnknownHandles) {
    for (int32_t periods : {0, -1, INT32_MIN, 10001}) EXPECT_EQ(AddToChartEx("a", "b", periods), 0);
    const int32_t unnamed = AddToChartEx(nullptr, nullptr, 1);
    EXPECT_GT(unnamed, 0);
    EXPECT_EQ(RemoveFromChart(unnamed), 1);
    for (int32_t handle : {0, -1, INT32_MIN, INT32_MAX, 123456}) {
        EXPECT_EQ(AnalysePosn(handle, 0, 2, 1, 2, 0.5, 1, 10, -1, 0), 0);
        EXPECT_EQ(RemoveFromChart(handle), 0);
    }
    const int32_t h = AddToChartEx("metastock", "Y", 9);
    EXPECT_EQ(RemoveFromChart(h), 1);
    EXPECT_EQ(RemoveFromChart(h), 0);  // closed once
    EXPECT_EQ(AnalysePosn(h, 0, 2, 1, 2, 0.5, 1, 10, -1, 0), 0);
}

// At most 4096 instances are open at once: the next is refused with 0 until
// one closes.
TEST(EngineInstances, AFullTableRefusesWithZero) {
    std::vector<int32_t> handles;
    for (;;) {
        const int32_t h = AddToChartEx("metastock", "X", 1);
        if (h == 0) break;
        handles.push_back(h);
        ASSERT_LE(handles.size(), 5000u);
    }
    EXPECT_EQ(handles.size(), 4096u);
    EXPECT_EQ(AddToChartEx("metastock", "X", 1), 0);
    ASSERT_EQ(RemoveFromChart(handles.back()), 1);
    handles.pop_back();
    const int32_t again = AddToChartEx("metastock", "X", 1);
    EXPECT_GT(again, 0);
    handles.push_back(again);
    for (int32_t h : handles) EXPECT_EQ(RemoveFromChart(h), 1);
}

// An instance whose memory cannot be had is refused with 0; nothing leaves
// the export, and the table works on afterwards.
TEST(EngineInstances, AllocationFailureAnswersZero) {
    spreadcore::fail_allocations_for_testing(true);
    const int32_t refused = AddToChartEx("metastock", "X", 10000);
    spreadcore::fail_allocations_for_testing(false);
    EXPECT_EQ(refused, 0);
    const int32_t h = AddToChartEx("metastock", "X", 10000);
    EXPECT_GT(h, 0);
    EXPECT_EQ(RemoveFromChart(h), 1);
}

TEST(EngineInstances, InterleavedInstancesMatchInstancesFedAlone) {
    const std::vector<Bar> a = random_bars(800, 1), b = random_bars(800, 2);
    const std::vector<int32_t> alone_a = feed_alone(a), alone_b = feed_alone(b);
    const int32_t ha = AddToChartEx("metastock", "A", 9);
    const int32_t hb = AddToChartEx("metastock", "B", 9);
    ASSERT_NE(ha, hb);
    int signals = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto pos = static_cast<int32_t>(i) - 1;
        const double na = i + 1 < a.size() ? a[i + 1].close : -1.0;
        const double nb = i + 1 < b.size() ? b[i + 1].close : -1.0;
        EXPECT_EQ(AnalysePosn(ha, pos, 0, a[i].close, a[i].high, a[i].low, a[i].close,
                              a[i].volume, na, 0), alone_a[i]);
        EXPECT_EQ(AnalysePosn(hb, pos, 0, b[i].close, b[i].high, b[i].low, b[i].close,
                              b[i].volume, nb, 0), alone_b[i]);
        signals += alone_a[i] != 0;
    }
    EXPECT_GT(signals, 10);  // the comparison is not between two empty series
    RemoveFromChart(ha);
    RemoveFromChart(hb);
}

// A chart fed as it closes: each bar taken with its next close unknown
// (-1), then judged again with confirmanalysis 1 once the next bar has
// closed. The revised code of every bar equals the batch code (next close
// known), and the last bar's unrevised code equals the batch's last code,
// on long series with gaps in price, zero volumes and unusable bars.
TEST(EngineInstances, RevisingTheLastBarEqualsFeedingWithItsNextClose) {
    struct Series {
        const char* name;
        std::vector<Bar> bars;
    };
    std::vector<Series> series;
    series.push_back({"random walk", random_bars(5000, 7)});
    std::vector<Bar> gaps = random_bars(5000, 8);
    for (std::size_t i = 50; i < gaps.size(); i += 97)  // a weekend gap: every price jumps by 8
        for (std::size_t k = i; k < gaps.size(); ++k) gaps[k] = {gaps[k].high + 8, gaps[k].low + 8, gaps[k].close + 8, gaps[k].volume};
    series.push_back({"price gaps", gaps});
    std::vector<Bar> zeros = random_bars(5000, 9);
    for (std::size_t i = 0; i < zeros.size(); i += 3) zeros[i].volume = 0;  // every third bar traded nothing
    series.push_back({"zero volumes", zeros});
    std::vector<Bar> holes = random_bars(5000, 10);
    for (std::size_t i = 20; i < holes.size(); i += 41) holes[i].high = holes[i].low - 1;  // unusable bars
    series.push_back({"unusable bars", holes});
    for (const Series& s : series) {
        const std::vector<int32_t> batch = feed_alone(s.bars);
        const int32_t h = AddToChartEx("metastock", "X", 9);
        int differences = 0, signals = 0;
        for (std::size_t i = 0; i < s.bars.size(); ++i) {
            const Bar& b = s.bars[i];
            if (i > 0) {  // bar i closed: the previous bar's next close is known
                const int32_t revised = AnalysePosn(h, 0, 0, 0, 0, 0, 0, 0, b.close, 1);
                differences += revised != batch[i - 1];
            }
            const int32_t provisional = AnalysePosn(h, static_cast<int32_t>(i) - 1, 0, b.close, b.high,
                                                    b.low, b.close, b.volume, -1.0, 0);
            if (i + 1 == s.bars.size()) differences += provisional != batch[i];
            signals += batch[i] != 0;
        }
        // Revising twice changes nothing; with no bar taken there is nothing to revise.
        EXPECT_EQ(AnalysePosn(h, 0, 0, 0, 0, 0, 0, 0, -1.0, 1), batch.back()) << s.name;
        EXPECT_EQ(RemoveFromChart(h), 1);
        EXPECT_EQ(differences, 0) << s.name;
        EXPECT_GT(signals, 100) << s.name;
    }
    const int32_t fresh = AddToChartEx("metastock", "X", 9);
    EXPECT_EQ(AnalysePosn(fresh, 0, 0, 0, 0, 0, 0, 0, 100, 1), 0);
    RemoveFromChart(fresh);
}

std::vector<int32_t> feed_alone(const std::vector<Bar>& bars, int periods) {
    const int32_t h = AddToChartEx("metastock", "X", periods);
    std::vector<int32_t> codes;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double next = i + 1 < bars.size() ? bars[i + 1].close : -1.0;
        codes.push_back(AnalysePosn(h, 0, 0, 0, bars[i].high, bars[i].low, bars[i].close, bars[i].volume, next, 0));
    }
    EXPECT_EQ(RemoveFromChart(h), 1);
    return codes;
}

// The shapes a window's extremes are hardest on: every bar a new high (the
// lowest low leaves at every bar), every bar a new low, one price
// throughout (every value ties), a sawtooth, and a random walk.
std::vector<std::pair<const char*, std::vector<Bar>>> window_shapes() {
    std::vector<std::pair<const char*, std::vector<Bar>>> shapes;
    std::vector<Bar> rising, falling, flat, saw;
    for (int i = 0; i < 700; ++i) {
        const double up = 100 + 0.5 * i, down = 500 - 0.5 * i, tooth = 100 + (i % 13) - (i % 7);
        rising.push_back({up + 1, up - 1, up, 100.0 + i % 5});
        falling.push_back({down + 1, down - 1, down, 100.0 + i % 5});
        flat.push_back({101, 99, 100, 100});
        saw.push_back({tooth + 1 + (i % 3), tooth - 1 - (i % 4), tooth, 100.0 + i % 9});
    }
    shapes.push_back({"rising", rising});
    shapes.push_back({"falling", falling});
    shapes.push_back({"flat", flat});
    shapes.push_back({"sawtooth", saw});
    shapes.push_back({"random walk", random_bars(700, 11)});
    return shapes;
}

// The window against a search of its last `size` bars after every bar: the
// extremes exactly, the means to rounding.
TEST(EngineWindow, ExtremesAndMeansEqualASearchOfTheWindow) {
    for (const auto& [name, bars] : window_shapes()) {
        for (const int size : {1, 2, 3, 9, 50, 256}) {
            spreadcore::BarWindow window(size);
            int wrong = 0;
            for (std::size_t i = 0; i < bars.size(); ++i) {
                window.push(bars[i]);
                const std::size_t from = i + 1 >= static_cast<std::size_t>(size) ? i + 1 - size : 0;
                double highest = bars[from].high, lowest = bars[from].low, spread = 0, volume = 0;
                for (std::size_t k = from; k <= i; ++k) {
                    highest = std::max(highest, bars[k].high);
                    lowest = std::min(lowest, bars[k].low);
                    spread += bars[k].high - bars[k].low;
                    volume += bars[k].volume;
                }
                wrong += window.highest() != highest || window.lowest() != lowest;
                wrong += std::fabs(window.mean_spread() - spread / size) > 1e-9 * (1 + spread);
                wrong += std::fabs(window.mean_volume() - volume / size) > 1e-9 * (1 + volume);
            }
            EXPECT_EQ(wrong, 0) << name << ", size " << size;
        }
    }
}

// The batch face equals an instance fed bar by bar through the entry point,
// at several averaging lengths, on doubles and on float32 prices (the
// charting host's), unusable bars included.
TEST(EngineFaces, TheBatchFaceEqualsTheEntryPointBarByBar) {
    std::vector<Bar> holes = random_bars(3000, 12);
    for (std::size_t i = 30; i < holes.size(); i += 53) holes[i].volume = -1;
    for (std::size_t i = 45; i < holes.size(); i += 71) holes[i].close = std::numeric_limits<double>::quiet_NaN();
    auto shapes = window_shapes();
    shapes.push_back({"unusable bars", holes});
    for (const auto& [name, bars] : shapes) {
        std::vector<double> h, l, c, v;
        std::vector<float> hf, lf, cf, vf;
        std::vector<Bar> rounded;
        for (const Bar& b : bars) {
            h.push_back(b.high), l.push_back(b.low), c.push_back(b.close), v.push_back(b.volume);
            hf.push_back(static_cast<float>(b.high)), lf.push_back(static_cast<float>(b.low));
            cf.push_back(static_cast<float>(b.close)), vf.push_back(static_cast<float>(b.volume));
            rounded.push_back({hf.back(), lf.back(), cf.back(), vf.back()});
        }
        for (const int periods : {1, 3, 9, 50}) {
            std::vector<int32_t> batch(bars.size()), batch32(bars.size());
            spreadcore::analyse_series(h.data(), l.data(), c.data(), v.data(), bars.size(), periods, batch.data());
            spreadcore::analyse_series(hf.data(), lf.data(), cf.data(), vf.data(), bars.size(), periods, batch32.data());
            EXPECT_EQ(batch, feed_alone(bars, periods)) << name << ", periods " << periods;
            EXPECT_EQ(batch32, feed_alone(rounded, periods)) << name << ", float32, periods " << periods;
        }
    }
}

// A chart's codes (feed_series) are the engine's codes with the policy: the
// last bar and the bars up to the warm-up show 0, a volume under the floor
// is taken as 1; a stream revised bar by bar shows the same codes but for
// the newest bar, which it shows provisionally.
TEST(EngineFaces, AChartAndAStreamShowTheEnginesCodesUnderThePolicy) {
    std::vector<Bar> bars = random_bars(2500, 13);
    for (std::size_t i = 0; i < bars.size(); i += 17) bars[i].volume = i % 2 ? 0.0 : 0.00005;
    std::vector<Bar> floored = bars;
    std::vector<double> h, l, c, v;
    for (Bar& b : floored) {
        h.push_back(b.high), l.push_back(b.low), c.push_back(b.close), v.push_back(b.volume);
        if (b.volume < 0.0001) b.volume = 1.0;
    }
    const std::size_t n = bars.size();
    std::vector<int32_t> engine(n), chart(n);
    // The chart feeds every bar but the last, the last one fed with its next close unknown.
    std::vector<Bar> fed(floored.begin(), floored.end() - 1);
    spreadcore::feed_series(h.data(), l.data(), c.data(), v.data(), n, 9, chart.data());
    const std::vector<int32_t> alone = feed_alone(fed, 9);
    int differences = 0, signals = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int32_t want = i + 1 == n || i <= 15 ? 0 : alone[i];
        differences += chart[i] != want;
        signals += want != 0;
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(signals, 100);
    spreadcore::Stream stream(9);
    differences = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (i > 0) differences += stream.revise(bars[i].close) != chart[i - 1];
        const int32_t provisional = stream.push(bars[i].high, bars[i].low, bars[i].close, bars[i].volume);
        if (i + 2 == n) differences += provisional != (i <= 15 ? 0 : alone[i]);  // fed with no next close
    }
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(stream.bars(), static_cast<long>(n - 1));
    EXPECT_EQ(spreadcore::Stream(9).revise(100), 0);
}

// AnalyseSeries, the batch face as the client calls it: each code equal to
// an instance fed bar by bar; refusals answer 0 and write nothing.
TEST(EngineFaces, AnalyseSeriesEqualsFeedingBarByBarAndRefusesWhatItCannotRead) {
    // Past 3 x 10,000 bars, so that the longest averaging length gives codes too.
    const std::vector<Bar> bars = random_bars(31000, 14);
    std::vector<double> h, l, c, v;
    for (const Bar& b : bars) h.push_back(b.high), l.push_back(b.low), c.push_back(b.close), v.push_back(b.volume);
    const auto n = static_cast<int32_t>(bars.size());
    for (const int32_t periods : {1, 9, 10000}) {
        std::vector<int32_t> codes(bars.size(), 77);
        EXPECT_EQ(AnalyseSeries(h.data(), l.data(), c.data(), v.data(), n, periods, codes.data()), n);
        EXPECT_EQ(codes, feed_alone(bars, periods)) << "periods " << periods;
        EXPECT_GT(std::count_if(codes.begin(), codes.end(), [](int32_t code) { return code != 0; }), 10)
            << "periods " << periods;
    }
    std::vector<int32_t> codes(bars.size(), 77);
    const std::vector<int32_t> untouched = codes;
    const struct {
        const char* what;
        const double *high, *low, *close, *volume;
        int32_t count, periods;
        int32_t* codes;
    } refused[] = {
        {"no highs", nullptr, l.data(), c.data(), v.data(), n, 9, codes.data()},
        {"no lows", h.data(), nullptr, c.data(), v.data(), n, 9, codes.data()},
        {"no closes", h.data(), l.data(), nullptr, v.data(), n, 9, codes.data()},
        {"no volumes", h.data(), l.data(), c.data(), nullptr, n, 9, codes.data()},
        {"no codes", h.data(), l.data(), c.data(), v.data(), n, 9, nullptr},
        {"a negative count", h.data(), l.data(), c.data(), v.data(), -1, 9, codes.data()},
        {"periods 0", h.data(), l.data(), c.data(), v.data(), n, 0, codes.data()},
        {"periods 10001", h.data(), l.data(), c.data(), v.data(), n, 10001, codes.data()},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(AnalyseSeries(r.high, r.low, r.close, r.volume, r.count, r.periods, r.codes), 0) << r.what;
        EXPECT_EQ(codes, untouched) << r.what;
    }
    EXPECT_EQ(AnalyseSeries(h.data(), l.data(), c.data(), v.data(), 0, 9, codes.data()), 0);
    EXPECT_EQ(codes, untouched);
}

// --- the batch kernel against the Analyzer, bar for bar ------------------------

// The Analyzer fed the bars one by one, each with its next close: the codes
// every whole-series face must give.
template <class Price>
std::vector<int32_t> analyzer_codes(const std::vector<Price>& h, const std::vector<Price>& l,
                                    const std::vector<Price>& c, const std::vector<Price>& v, int periods) {
    Analyzer a(periods);
    std::vector<int32_t> codes;
    for (std::size_t i = 0; i < c.size(); ++i)
        codes.push_back(a.analyse({static_cast<double>(h[i]), static_cast<double>(l[i]), static_cast<double>(c[i]),
                                   static_cast<double>(v[i])},
                                  i + 1 < c.size() ? static_cast<double>(c[i + 1]) : spreadcore::kNoNextClose));
    return codes;
}

// A chart's codes as feed_chart feeds an Analyzer.
template <class Price>
std::vector<int32_t> chart_codes(const std::vector<Price>& h, const std::vector<Price>& l,
                                 const std::vector<Price>& c, const std::vector<Price>& v, int periods) {
    Analyzer a(periods);
    std::vector<int32_t> codes(c.size(), 77);
    spreadcore::feed_chart(c.data(), v.data(), 0, static_cast<int32_t>(c.size()) - 1, spreadcore::kChartFeed,
                           [&](int32_t i, double, double volume, double next) {
                               return a.analyse({static_cast<double>(h[i]), static_cast<double>(l[i]),
                                                 static_cast<double>(c[i]), volume},
                                                next);
                           },
                           [&](int32_t i, int32_t code) { codes[static_cast<std::size_t>(i)] = code; });
    return codes;
}

// Series of `n` bars in the shapes the kernel's steps are hardest on: ties
// (flat prices, zero spreads and volumes), every bar a new extreme, values
// huge beside the rest (the windows' sums then carry rounding until they
// are made afresh), and unusable bars alone, sprinkled and in runs longer
// than a block of the kernel (so that a block holds one usable bar or none).
std::vector<std::pair<std::string, std::vector<Bar>>> kernel_shapes(int n, uint32_t seed) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<std::pair<std::string, std::vector<Bar>>> shapes;
    shapes.push_back({"random walk", random_bars(n, seed)});
    std::vector<Bar> rising, falling, flat, zero_spreads;
    for (int i = 0; i < n; ++i) {
        const double up = 100 + 0.01 * i, down = 1000 - 0.01 * i;
        rising.push_back({up + 0.5, up - 0.5, up, 1000.0 + i % 7});
        falling.push_back({down + 0.5, down - 0.5, down, 1000.0 + i % 7});
        flat.push_back({101, 99, 100, i % 5 == 0 ? 300.0 : 100.0});
        zero_spreads.push_back({100, 100, 100, i % 4 == 0 ? 0.0 : 100.0 + i % 3});
    }
    shapes.push_back({"steady rise", rising});
    shapes.push_back({"steady fall", falling});
    shapes.push_back({"flat prices", flat});
    shapes.push_back({"zero spreads", zero_spreads});
    std::vector<Bar> zeros = random_bars(n, seed + 1);
    for (std::size_t i = 0; i < zeros.size(); i += 3) zeros[i].volume = 0;
    shapes.push_back({"zero volumes", zeros});
    std::vector<Bar> spikes = random_bars(n, seed + 2);
    for (std::size_t i = 5; i < spikes.size(); i += 41) spikes[i].volume *= 1e13;
    for (std::size_t i = 7; i < spikes.size(); i += 59) spikes[i].high += 1e9;
    for (std::size_t i = 11; i < spikes.size(); i += 67) spikes[i].close = spikes[i].high;
    shapes.push_back({"huge values", spikes});
    std::vector<Bar> sprinkled = random_bars(n, seed + 3);
    std::mt19937 gen(seed);
    const Bar bad[] = {{nan, 1, 1, 1}, {1, -inf, 1, 1}, {2, 1, inf, 1}, {2, 1, 1.5, nan},
                       {1, 2, 1.5, 10}, {2, 1, 1.5, -5}, {inf, 1, 1.5, 1}};
    for (Bar& b : sprinkled)
        if (gen() % 9 == 0) b = bad[gen() % std::size(bad)];
    shapes.push_back({"unusable bars sprinkled", sprinkled});
    std::vector<Bar> runs = random_bars(n, seed + 4);
    for (std::size_t i = 0; i < runs.size(); ++i)
        if ((i % 1400 >= 300 && i % 1400 < 700 && i % 1400 != 500) || i % 1400 == 1000) runs[i].volume = -1;
    shapes.push_back({"runs of unusable bars", runs});
    return shapes;
}

struct Columns {
    std::vector<double> h, l, c, v;
    std::vector<float> hf, lf, cf, vf;
    explicit Columns(const std::vector<Bar>& bars) {
        for (const Bar& b : bars) {
            h.push_back(b.high), l.push_back(b.low), c.push_back(b.close), v.push_back(b.volume);
            hf.push_back(static_cast<float>(b.high)), lf.push_back(static_cast<float>(b.low));
            cf.push_back(static_cast<float>(b.close)), vf.push_back(static_cast<float>(b.volume));
        }
    }
};

// The whole-series faces (analyse_series, and feed_series under the chart's
// policy) give the Analyzer's codes bar for bar, on doubles and on float32
// prices, at every averaging length, on series shorter than the window and
// on none.
TEST(EngineFaces, TheBatchKernelGivesTheAnalyzersCodesBarForBar) {
    // The AVX2 loops are built and taken where the processor runs them.
    if (spreadcore::processor_runs_avx2()) {
        EXPECT_EQ(spreadcore::kernel_lanes_available().size(), 2u);
        EXPECT_EQ(spreadcore::widest_kernel_lanes(), spreadcore::KernelLanes::avx2);
    }
    struct Case {
        int bars;
        std::vector<int> periods;
    };
    const Case cases[] = {
        {0, {1, 9}}, {1, {1, 9}}, {2, {1, 2}}, {7, {9, 50}}, {40, {50}},
        {3000, {1, 2, 9, 50}},
        {31000, {10000}},  // past 3 x 10,000 bars: the trend known at the longest length
    };
    for (const Case& k : cases) {
        for (const auto& [name, bars] : kernel_shapes(k.bars, 20 + static_cast<uint32_t>(k.bars))) {
            const Columns x(bars);
            for (const int periods : k.periods) {
                const std::string what = name + ", " + std::to_string(k.bars) + " bars, periods " + std::to_string(periods);
                const std::size_t n = bars.size();
                std::vector<int32_t> batch(n, 77), batch32(n, 77), chart(n, 77), chart32(n, 77);
                spreadcore::analyse_series(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, periods, batch.data());
                spreadcore::analyse_series(x.hf.data(), x.lf.data(), x.cf.data(), x.vf.data(), n, periods, batch32.data());
                spreadcore::feed_series(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, periods, chart.data());
                spreadcore::feed_series(x.hf.data(), x.lf.data(), x.cf.data(), x.vf.data(), n, periods, chart32.data());
                const std::vector<int32_t> want = analyzer_codes(x.h, x.l, x.c, x.v, periods);
                EXPECT_EQ(batch, want) << what;
                // Each width of the kernel's loops the processor runs.
                for (const spreadcore::KernelLanes lanes : spreadcore::kernel_lanes_available()) {
                    std::vector<int32_t> codes(n, 77);
                    spreadcore::SeriesKernel(periods, lanes).run(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n,
                                                                 codes.data(), nullptr);
                    EXPECT_EQ(codes, want) << what << ", lanes " << static_cast<int>(lanes);
                }
                EXPECT_EQ(batch32, analyzer_codes(x.hf, x.lf, x.cf, x.vf, periods)) << what << ", float32";
                EXPECT_EQ(chart, chart_codes(x.h, x.l, x.c, x.v, periods)) << what << ", as a chart";
                EXPECT_EQ(chart32, chart_codes(x.hf, x.lf, x.cf, x.vf, periods)) << what << ", as a chart, float32";
                // Doubles rounded to float32 as the kernel reads them give the
                // float32 prices' codes.
                std::vector<int32_t> rounded(n, 77);
                spreadcore::feed_series_float32(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, periods,
                                                rounded.data());
                EXPECT_EQ(rounded, chart32) << what << ", rounded as read";
                if (k.bars >= 3000 && name == "random walk") {
                    EXPECT_GT(std::count_if(want.begin(), want.end(), [](int32_t code) { return code != 0; }), 10)
                        << what;
                }
            }
        }
    }
}

// Doubles rounded to float32 as the kernel reads them (the Python package's
// float64 frames) give the codes of the float32 prices, on every path of
// the reading: prices above 2^24, where float32 keeps only every second
// whole number, so that rounding changes most bars' spreads and closes.
TEST(EngineFaces, RoundingAsReadGivesTheFloat32PricesCodes) {
    // The kernel reads all but the last bar: 3,001, an odd number, the last
    // of them alone.
    std::vector<Bar> bars = random_bars(3002, 33);
    for (Bar& b : bars) {
        const auto coarse = [](double price) { return 16777216.0 + 4 * price; };
        b.high = coarse(b.high), b.low = coarse(b.low), b.close = coarse(b.close), b.volume += 0.3;
    }
    const Columns x(bars);
    const std::size_t n = bars.size();
    for (const int periods : {2, 9}) {
        std::vector<int32_t> rounded(n, 77), floats(n, 77), doubles(n, 77);
        spreadcore::feed_series_float32(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, periods, rounded.data());
        spreadcore::feed_series(x.hf.data(), x.lf.data(), x.cf.data(), x.vf.data(), n, periods, floats.data());
        spreadcore::feed_series(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, periods, doubles.data());
        EXPECT_EQ(rounded, floats) << "periods " << periods;
        EXPECT_NE(doubles, floats) << "periods " << periods << ": the rounding changes nothing here";
    }
}

// The checked reading (the Python package's frames not yet looked at)
// refuses a series with a value the host cannot hold wherever it sits: in
// any column, in a pair the kernel reads together or alone, on the last bar
// fed or on the last bar, which is not fed; and otherwise gives the
// unchecked reading's codes.
TEST(EngineFaces, CheckedReadingRefusesWhatTheHostCannotHold) {
    constexpr double kMost = std::numeric_limits<float>::max();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();
    // 602 bars: the kernel reads 601, in blocks of 256, in pairs but the
    // last, alone. Rows: the first, one in a second block's pair, the last
    // fed (alone), the last.
    const std::vector<Bar> bars = random_bars(602, 41);
    const std::size_t n = bars.size();
    struct Case {
        int column;  // high, low, close, volume
        double value;
        bool kept;
    };
    const Case cases[] = {
        {0, kNaN, false},       {1, kInf, false},          {2, -kInf, false},
        {0, 1e39, false},       {2, -1e39, false},         {3, 1e39, false},
        {3, -1.0, false},       {3, -kNaN, false},
        // Past float32's largest by less than rounding takes away: refused.
        {2, kMost * (1 + 0x1p-40), false},
        // The largest, a negative price, a volume of -0: kept.
        {0, kMost, true},       {2, -kMost, true},         {3, -0.0, true},
    };
    for (const std::size_t row : {std::size_t{0}, std::size_t{301}, n - 2, n - 1}) {
        for (const Case& k : cases) {
            Columns x(bars);
            std::vector<double>* const doubles[] = {&x.h, &x.l, &x.c, &x.v};
            (*doubles[k.column])[row] = k.value;
            std::vector<int32_t> checked(n, 77), plain(n, 77);
            const bool kept = spreadcore::feed_series_checked(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, 9,
                                                              checked.data());
            EXPECT_EQ(kept, k.kept) << "column " << k.column << ", row " << row << ": " << k.value;
            if (kept) {
                spreadcore::feed_series_float32(x.h.data(), x.l.data(), x.c.data(), x.v.data(), n, 9, plain.data());
                EXPECT_EQ(checked, plain) << "column " << k.column << ", row " << row;
            }
            // Float32 columns hold no value beyond their range, but NaN,
            // infinities and negative volumes.
            if (std::fabs(k.value) <= kMost || std::isnan(k.value) || std::isinf(k.value)) {
                std::vector<float>* const floats[] = {&x.hf, &x.lf, &x.cf, &x.vf};
                (*floats[k.column])[row] = static_cast<float>(k.value);
                EXPECT_EQ(spreadcore::feed_series_checked(x.hf.data(), x.lf.data(), x.cf.data(), x.vf.data(), n, 9,
                                                          checked.data()),
                          k.kept)
                    << "float32: column " << k.column << ", row " << row << ": " << k.value;
            }
        }
    }
    std::vector<int32_t> none(1, 77);
    EXPECT_TRUE(spreadcore::feed_series_checked<double>(nullptr, nullptr, nullptr, nullptr, 0, 9, none.data()));
    EXPECT_EQ(none[0], 77);
}

TEST(EngineInstances, SeveralChartsAtOnceOnSeveralThreads) {
    std::vector<std::vector<Bar>> charts;
    std::vector<std::vector<int32_t>> expected;
    for (uint32_t s = 0; s < 4; ++s) {
        charts.push_back(random_bars(3000, 10 + s));
        expected.push_back(feed_alone(charts.back()));
    }
    std::vector<std::vector<int32_t>> got(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) got[t] = feed_alone(charts[t]);
        });
    for (std::thread& th : threads) th.join();
    for (std::size_t t = 0; t < 4; ++t) EXPECT_EQ(got[t], expected[t]) << t;
}

}  // namespace

// --- the background, in both faces and through BackgroundOf -------------------

namespace {

bool same_number(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The fields of two views that differ, by name.
std::string view_differences(const spreadcore::BackgroundView& a, const spreadcore::BackgroundView& b) {
    std::string out;
    const auto field = [&out](const char* name, double x, double y) {
        if (!same_number(x, y)) out += std::string(" ") + name + " " + std::to_string(x) + "/" + std::to_string(y);
    };
    field("trend_short", a.trend_short, b.trend_short), field("trend_mid", a.trend_mid, b.trend_mid);
    field("trend_long", a.trend_long, b.trend_long), field("climax_side", a.climax_side, b.climax_side);
    field("climax_age", a.climax_age, b.climax_age), field("range_side", a.range_side, b.range_side);
    field("range_low", a.range_low, b.range_low), field("range_high", a.range_high, b.range_high);
    field("support", a.support, b.support), field("resistance", a.resistance, b.resistance);
    field("mean_spread", a.mean_spread, b.mean_spread), field("mean_volume", a.mean_volume, b.mean_volume);
    field("close_position", a.close_position, b.close_position);
    return out;
}

[[maybe_unused]] std::string real_data_folder() {
    if (const char* set = std::getenv("BARSIGHT_REAL_DATA")) return set;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    return (cache != nullptr ? std::string(cache) : std::string(home != nullptr ? home : ".") + "/.cache") +
           "/barsight/real-data";
}

}  // namespace

// On every real series (scripts/real_data.py's cache, which the test lanes
// fill first), the batch kernel and the Analyzer give the same code and read
// the same background on every bar, and between them the series show every
// signal of the table. (Built where the cache's path is a path: the Windows
// lanes run the same faces on random bars above, and the 32-bit DLL on the
// real series in the smoke run.)
#ifndef _WIN32
TEST(EngineBackground, BothFacesAgreeOnEveryRealSeries) {
    std::set<int32_t> seen;
    for (const char* symbol : {"SP500", "AAPL", "GOOG", "MSFT", "SSE", "SZSE", "CSI300", "SZSME", "CHINEXT", "PAB",
                               "SPDB", "COMPLANT", "IFC", "ICC", "IMC"}) {
        harness::ChartData chart;
        std::string error;
        const std::string path = real_data_folder() + "/" + symbol + ".csv";
        ASSERT_TRUE(harness::load_chart_csv(path, &chart, &error)) << error << " (run scripts/real_data.py)";
        const std::vector<double> h(chart.high.begin(), chart.high.end()), l(chart.low.begin(), chart.low.end());
        const std::vector<double> c(chart.close.begin(), chart.close.end());
        const std::vector<double> v(chart.volume.begin(), chart.volume.end());
        const std::size_t n = c.size();
        for (const int periods : {9, 50}) {
            // The kernel with each width of its loops the processor runs.
            const std::vector<spreadcore::KernelLanes> widths = spreadcore::kernel_lanes_available();
            // With views, and without (where the kernel takes runs of quiet
            // bars at once).
            std::vector<std::vector<int32_t>> codes(widths.size(), std::vector<int32_t>(n));
            std::vector<std::vector<int32_t>> plain(widths.size(), std::vector<int32_t>(n));
            std::vector<std::vector<spreadcore::BackgroundView>> views(widths.size(),
                                                                       std::vector<spreadcore::BackgroundView>(n));
            for (std::size_t w = 0; w < widths.size(); ++w) {
                spreadcore::SeriesKernel(periods, widths[w])
                    .run(h.data(), l.data(), c.data(), v.data(), n, codes[w].data(), nullptr, views[w].data());
                spreadcore::SeriesKernel(periods, widths[w])
                    .run(h.data(), l.data(), c.data(), v.data(), n, plain[w].data(), nullptr);
            }
            spreadcore::Analyzer analyzer(periods);
            int code_differences = 0, view_differences_seen = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const int32_t code = analyzer.analyse({h[i], l[i], c[i], v[i]},
                                                      i + 1 < n ? c[i + 1] : spreadcore::kNoNextClose);
                for (std::size_t w = 0; w < widths.size(); ++w) {
                    const auto at = [&] {
                        return std::string(symbol) + " periods " + std::to_string(periods) + " lanes " +
                               std::to_string(static_cast<int>(widths[w])) + " bar " + std::to_string(i);
                    };
                    if ((code != codes[w][i] || code != plain[w][i]) && ++code_differences <= 3)
                        ADD_FAILURE() << at() << ": " << codes[w][i] << ", without views " << plain[w][i] << "/" << code;
                    const std::string differ = view_differences(views[w][i], analyzer.background());
                    if (!differ.empty() && ++view_differences_seen <= 3) ADD_FAILURE() << at() << ":" << differ;
                }
                if (periods == 9 && code != 0) seen.insert(code);
            }
        }
    }
    for (const spreadcore::Signal rule : spreadcore::kRuleOrder) EXPECT_TRUE(seen.count(rule)) << "code " << rule;
}
#endif

// BackgroundOf reads an instance's background as the Analyzer gives it;
// refusals answer 0 and write nothing.
TEST(EngineBackground, BackgroundOfIsTheInstancesBackground) {
    const std::vector<Bar> bars = random_bars(3000, 21);
    const int32_t handle = AddToChartEx(nullptr, nullptr, 9);
    ASSERT_GT(handle, 0);
    spreadcore::Analyzer analyzer(9);
    double values[spreadcore::kBackgroundValues + 2];
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const double next = i + 1 < bars.size() ? bars[i + 1].close : spreadcore::kNoNextClose;
        AnalysePosn(handle, static_cast<int32_t>(i), 0, 0, b.high, b.low, b.close, b.volume, next, 0);
        analyzer.analyse(b, next);
        std::fill(std::begin(values), std::end(values), 77.0);
        ASSERT_EQ(BackgroundOf(handle, values, spreadcore::kBackgroundValues + 2), spreadcore::kBackgroundValues);
        spreadcore::BackgroundView got;
        got.trend_short = static_cast<int8_t>(values[0]), got.trend_mid = static_cast<int8_t>(values[1]);
        got.trend_long = static_cast<int8_t>(values[2]), got.climax_side = static_cast<int8_t>(values[3]);
        got.climax_age = static_cast<int32_t>(values[4]), got.range_side = static_cast<int8_t>(values[5]);
        got.range_low = values[6], got.range_high = values[7], got.support = values[8], got.resistance = values[9];
        spreadcore::BackgroundView want = analyzer.background();
        got.mean_spread = want.mean_spread, got.mean_volume = want.mean_volume;  // not among its ten
        got.close_position = want.close_position;
        ASSERT_EQ(view_differences(got, want), "") << "bar " << i;
        ASSERT_EQ(values[10], 77.0) << "written past the ten values";
    }
    std::fill(std::begin(values), std::end(values), 77.0);
    EXPECT_EQ(BackgroundOf(handle, values, 3), 3);
    EXPECT_EQ(values[3], 77.0);
    const struct {
        const char* what;
        int32_t handle;
        double* values;
        int32_t count;
    } refused[] = {{"an unknown handle", handle + 1, values, 10}, {"handle 0", 0, values, 10},
                   {"no array", handle, nullptr, 10}, {"count 0", handle, values, 0}, {"count -1", handle, values, -1}};
    std::fill(std::begin(values), std::end(values), 77.0);
    for (const auto& r : refused) {
        EXPECT_EQ(BackgroundOf(r.handle, r.values, r.count), 0) << r.what;
        EXPECT_TRUE(std::all_of(std::begin(values), std::end(values), [](double x) { return x == 77.0; })) << r.what;
    }
    EXPECT_EQ(RemoveFromChart(handle), 1);
    EXPECT_EQ(BackgroundOf(handle, values, 10), 0);
}
