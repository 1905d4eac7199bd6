// What an evaluation found, written out: the table msxhost prints, the CSV
// of every cell (--csv), the cases per file (--by-file) and the SVG forest
// plot (--svg); and the small text helpers they share.
#pragma once

#include <string>

#include "evaluation/evaluate.h"

namespace evaluation {

// The table on standard output, the CSV (--csv) and the SVG chart (--svg).
std::string evaluation_table(const Evaluation& evaluation, const EvaluateOptions& options);
std::string evaluation_csv(const Evaluation& evaluation);
// Cases per file of every cell: code,name,horizon,file,cases.
std::string evaluation_by_file_csv(const Evaluation& evaluation);
std::string evaluation_svg(const Evaluation& evaluation, const EvaluateOptions& options);

// printf into a string of whatever length the text needs.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csv_field(const std::string& text);

}  // namespace evaluation
