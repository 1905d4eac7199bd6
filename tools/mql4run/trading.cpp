// Trading: the order both dialects print, and the trade server's terms.
#include "tools/mql4run/program.h"

#include <cmath>

#include "tools/mql4run/text.h"

namespace mql {

bool Program::volume_allowed(double volume) {
    // Within the symbol's minimum and maximum, a whole number of steps (to
    // a rounding error's width).
    const SymbolTerms& terms = terminal().terms;
    const double steps = volume / terms.volume_step;
    return volume >= terms.volume_min && volume <= terms.volume_max && std::fabs(steps - std::round(steps)) <= 1e-7;
}

int Program::place_order(const string& symbol, int command, double volume, double price, double stoploss,
                         double takeprofit, const string& comment, mql_long magic) {
    std::ostringstream line;
    line << "order: " << (command == 0 ? "buy " : command == 1 ? "sell " : "command ") << symbol.str() << ' '
         << number_text(volume) << " at " << number_text(price) << " sl " << number_text(stoploss) << " tp "
         << number_text(takeprofit) << " magic " << magic << " \"" << comment.str() << '"';
    print_line(line.str());
    return ++terminal().orders;
}

}  // namespace mql
