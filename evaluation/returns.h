// The returns an evaluation is made of: each case's return from its entry
// to its exit, the baseline group each bar is judged against (its file, its
// file's year or its date), where a bar stands in time, and what a file's
// prices say about themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "evaluation/evaluate.h"

namespace evaluation {

enum class Case { ok, past_end, bad_price };

// The return of the case at bar t over h bars in percent; past_end when its
// exit falls past the end, bad_price when a price at entry or exit is not a
// positive finite number (no return can be made of it).
Case case_return(const CodedSeries& s, std::size_t t, int h, Entry entry, double* percent);

// The year of a day counted from 1970-01-01 (proleptic Gregorian).
int year_of(int64_t days);

// A bar's place in time: minutes since 1970-01-01 for intraday files, days
// for daily ones.
int64_t stamp_of(const CodedSeries& s, std::size_t t, bool intraday);

// The note on file f (its bars, big moves, opens equal to the previous
// close); a file without a name is called "file N".
FileNote note_of(const CodedSeries& s, std::size_t f);

// One bar's return at a horizon and the group whose mean is its baseline.
struct Observation {
    std::size_t file, t, group;
    double r;
};

// A baseline group's bars: how many, their returns' sum, how many rose and
// how many fell.
struct BaselineGroup {
    double n = 0, sum = 0, up = 0, down = 0;
};

// Every bar's return at horizon h with its baseline group (groups numbered
// as first met), and the bars left out for a price that is not a positive
// number. `date_index` gives each bar's place on the dates' axis (the date
// baseline's groups).
struct HorizonReturns {
    std::vector<Observation> observations;
    std::vector<BaselineGroup> groups;
    long left_out = 0;
};

HorizonReturns horizon_returns(const std::vector<CodedSeries>& charts, int h, Entry entry, Baseline baseline,
                               const std::vector<std::vector<std::size_t>>& date_index);

}  // namespace evaluation
