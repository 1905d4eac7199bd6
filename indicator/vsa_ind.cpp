#include "indicator/vsa_ind.h"

#include "indicator/calc_frame.h"

namespace barsight {

// The engine binding is not part of this build yet: the indicator answers
// the host with an empty result and says why, as it will when the engine
// library cannot be found.
int32_t vsa_ind(BARSIGHT_CALC_PARAMS) noexcept {
    (void)a_psStringArgs;
    (void)a_psCustomArgs;
    return run_calculation("VSAInd", a_psDataRec, a_psDataInfoArgs, a_psNumericArgs,
                           a_psResultRec, [](const CalcArgs&) {
                               return CalcOutcome::fail(
                                   "VSAInd: the Spreadcore engine is not available");
                           });
}

}  // namespace barsight
