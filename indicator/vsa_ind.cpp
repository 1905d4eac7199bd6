#include "indicator/vsa_ind.h"

#include <string>

#include "engine/feed_policy.h"
#include "indicator/run_calculation.h"
#include "indicator/engine_binding.h"
#include "indicator/float_range.h"
#include "services/globals.h"

namespace barsight {

namespace {


// Closes the engine instance however the computation ends.
class InstanceGuard {
public:
    InstanceGuard(const EngineApi& api, int32_t handle) : api_(api), handle_(handle) {}
    ~InstanceGuard() { api_.RemoveFromChart(handle_); }
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

private:
    const EngineApi& api_;
    int32_t handle_;
};

}  // namespace

namespace {

// VSAInd's feed: the chart's bars to a fresh engine instance as the
// engine's feed policy feeds a chart (spreadcore::feed_chart), each code
// plotted through the signal filter.
CalcOutcome feed(const msx::CalcArgs& args, const EngineApi& engine, int32_t periods) {
    const MSXDataRec& data = *args.data;
    // The symbol reaches the engine as the host's own bytes (or null).
    const int32_t handle = engine.AddToChartEx(spreadcore::kChartApplication, data.pszSymbol, periods);
    if (handle <= 0) return CalcOutcome::fail("Data Passed Into VSA Indicator Invalid");
    InstanceGuard instance(engine, handle);

    const int32_t f = data.sClose.iFirstValid;
    const int32_t l = data.sClose.iLastValid;
    const float* close = data.sClose.pfValue;
    const float* high = data.sHigh.pfValue;
    const float* low = data.sLow.pfValue;
    const float* volume = data.sVol.pfValue;
    float* out = args.series()->pfValue;
    if (l >= 0 && out == nullptr) return CalcOutcome::fail("No result values passed");
    if (f < l && (!close || !high || !low || !volume))
        return CalcOutcome::fail("Chart price data missing");

    spreadcore::feed_chart(
        close, volume, f, l, spreadcore::kChartFeed,
        [&](int32_t i, double counter, double vol, double next) {
            const double c = close[i];
            return engine.AnalysePosn(handle, i - 1, counter, c, high[i], low[i], c, vol, next, 0);
        },
        [&](int32_t i, int32_t code) { out[i] = store(Globals::SignFilter(code)); });
    return CalcOutcome::range(f, l);
}

}  // namespace

int32_t vsa_ind(const msx::CalcArgs& call) noexcept {
    // The reason the engine could not be bound; the frame copies it into the
    // result record before this function returns.
    std::string bind_message;
    return run_calculation(call, [&](const msx::CalcArgs& args) {
        EngineApi engine;
        if (!bind_engine(&engine, &bind_message)) return CalcOutcome::fail(bind_message.c_str());
        return feed(args, engine, spreadcore::kChartPeriods);
    });
}

}  // namespace barsight
