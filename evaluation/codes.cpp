// Signal codes' names and order, read from the signal table (codes.h).
#include "evaluation/codes.h"

#include "signals/signal_names.h"

namespace evaluation {

const char* signal_name(int32_t code) {
    for (const msxhost::SignalName& signal : msxhost::kSignalNames)
        if (signal.code == code) return signal.name;
    return "";
}

std::string name_of(int32_t code) {
    const char* name = signal_name(code);
    return *name != '\0' ? std::string(name) : "code " + std::to_string(code);
}

int table_rank(int32_t code) {
    constexpr int kSignals = static_cast<int>(sizeof msxhost::kSignalNames / sizeof msxhost::kSignalNames[0]);
    for (int k = 0; k < kSignals; ++k)
        if (msxhost::kSignalNames[k].code == code) return k;
    return kSignals;
}

bool in_table_order(int32_t a, int32_t b) {
    return table_rank(a) != table_rank(b) ? table_rank(a) < table_rank(b) : a < b;
}

}  // namespace evaluation
