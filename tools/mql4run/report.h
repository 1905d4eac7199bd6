// The run's report: what the program leaves on its chart, one line each,
// and what the terminal saw (the counted calls, the open positions).
#pragma once

#include <ostream>

#include "tools/mql4run/runner.h"

namespace mql4run {

// "buffer\tINDEX\tDATE\tVALUE": every value that differs from its buffer's
// empty value, buffer by buffer, oldest bar first.
void print_buffers(const mql::Program& program, const mql::Chart& chart, std::ostream& out);

// "data window\tINDEX\tLABEL\tdrawn|draws nothing": a row per MQL5 plot the
// Data Window shows; nothing for an MQL4 program.
void print_data_window(const mql::Program& program, std::ostream& out);

// "object\t..." a line per chart object, by bar time then name: its name,
// bar date and tooltip, then its drawing facts (type, arrow code, colour,
// anchor, price, text), so a check can tell a wrong glyph, colour or side.
void print_objects(const mql::Chart& chart, std::ostream& out);

// "calls\tNAME\tCOUNT" for each counted built-in the program called.
void print_calls(const mql::Terminal& terminal, std::ostream& err);

// "position: #TICKET buy|sell SYMBOL LOTS magic MAGIC" for each open position.
void print_positions(const mql::Terminal& terminal, std::ostream& err);

}  // namespace mql4run
