// What a signal code is called and where it stands, as the signal table
// says: its name, and its place in the table (strength, then weakness), by
// which every output of an evaluation orders its codes.
#pragma once

#include <cstdint>
#include <string>

namespace evaluation {

// The name a trader knows a signal code by ("" if none).
const char* signal_name(int32_t code);

// The signal's name, or "code N" for a code the table does not hold.
std::string name_of(int32_t code);

// A code's place in the signal table; codes the table does not hold come
// after its own.
int table_rank(int32_t code);

// Codes in the table's order, codes outside it after them by value.
bool in_table_order(int32_t a, int32_t b);

}  // namespace evaluation
