// The adjustment over the whole family of a run's cells (Romano-Wolf's
// step-down and the simultaneous intervals), so that testing many code x
// horizon cells does not make chance findings.
#pragma once

#include <vector>

#include "evaluation/evaluate.h"

namespace evaluation {

// Romano and Wolf's step-down over the family's cells: a cell's t = diff /
// se, its replicates' t* = (diff* - diff) / se*, each replicate studentized
// with its own blocks (a replicate in which the cell has no case, or no
// spread, counts as reaching every statistic: the test errs on the safe
// side). A cell's adjusted p-value is the share of replicates whose largest
// |t*| over the cells not yet rejected reaches its |t| (made monotone down
// the ordering by |t|). Its simultaneous interval is diff +- c se, c the 95%
// quantile of the largest |t*| over the whole family (single-step: a cell
// can be rejected by the step-down while its interval still covers zero).
// `star[k]` holds rows[k]'s |t*| per replicate; sets each row's adjusted
// figures and the result's family and critical value.
void adjust_family(std::vector<EvaluationRow*>& rows, const std::vector<std::vector<double>>& star, int replicates,
                   Evaluation* result);

}  // namespace evaluation
