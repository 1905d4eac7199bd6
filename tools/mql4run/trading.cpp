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
                         double takeprofit, const string& comment, mql_long magic, mql_long slippage, bool open) {
    std::ostringstream line;
    line << "order: " << (command == 0 ? "buy " : command == 1 ? "sell " : "command ") << symbol.str() << ' '
         << number_text(volume) << " at " << number_text(price) << " sl " << number_text(stoploss) << " tp "
         << number_text(takeprofit) << " magic " << magic;
    if (slippage >= 0) line << " slippage " << slippage;
    line << " \"" << comment.str() << '"';
    print_line(line.str());
    const int ticket = ++terminal().orders;
    if (open && (command == 0 || command == 1))
        terminal().positions.push_back(
            Position{ticket, symbol.str(), command, volume, price, magic, TimeCurrent(), comment.str()});
    return ticket;
}

bool Program::requoted() {
    if (terminal().requotes <= 0) return false;
    --terminal().requotes;
    return true;
}

Position* Program::position(int ticket) {
    for (Position& open : terminal().positions)
        if (open.ticket == ticket) return &open;
    return nullptr;
}

bool Program::fifo_refuses_close(const Position& closing) {
    if (!terminal().fifo) return false;
    for (const Position& open : terminal().positions) {
        if (&open == &closing) return false;  // oldest first: none before it on its symbol
        if (open.symbol == closing.symbol) return true;
    }
    return false;
}

bool Program::fifo_refuses_open(const std::string& symbol, int type) {
    if (!terminal().fifo) return false;
    for (const Position& open : terminal().positions)
        if (open.symbol == symbol && open.type != type) return true;
    return false;
}

void Program::close_position(int ticket, double volume, double price) {
    auto& positions = terminal().positions;
    for (auto it = positions.begin(); it != positions.end(); ++it) {
        if (it->ticket != ticket) continue;
        std::ostringstream line;
        line << "close: #" << ticket << ' ' << (it->type == 0 ? "buy " : "sell ") << it->symbol << ' '
             << number_text(volume) << " at " << number_text(price) << " magic " << it->magic;
        print_line(line.str());
        it->volume -= volume;
        if (it->volume <= 1e-9) positions.erase(it);
        return;
    }
}

}  // namespace mql
