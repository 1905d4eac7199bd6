// The built-ins only MetaTrader 5's language has (mql5.h): its trims, the
// plots, trade requests and their deals, the account and its positions,
// CTrade, indicator handles.
#include "tools/mql4run/mql5.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/mql4run/text.h"

namespace mql::mql5 {

int StringTrimLeft(string& text) {
    const int before = StringLen(text);
    text = string(trimmed_left(text.str()));
    return before - StringLen(text);
}

int StringTrimRight(string& text) {
    const int before = StringLen(text);
    text = string(trimmed_right(text.str()));
    return before - StringLen(text);
}

Program5::Plot& Program5::plot(int index) {
    if (plots_.size() <= static_cast<std::size_t>(index)) plots_.resize(static_cast<std::size_t>(index) + 1);
    return plots_[static_cast<std::size_t>(index)];
}

bool Program5::plot_declared(int index) {
    if (index >= 0 && index < declared_plots()) return true;
    last_error_ = 4002;  // a plot the indicator does not declare (#property indicator_plots)
    return false;
}

bool Program5::PlotIndexSetInteger(int index, ENUM_PLOT_PROPERTY_INTEGER property, mql_long value) {
    if (!plot_declared(index)) return false;
    if (property == PLOT_SHOW_DATA) plot(index).shown = value != 0;
    if (property == PLOT_DRAW_TYPE) plot(index).draw_type = static_cast<int>(value);
    return true;
}

bool Program5::OrderSend(const MqlTradeRequest& request, MqlTradeResult& result) {
    result = MqlTradeResult{};
    if (request.action != TRADE_ACTION_DEAL) return false;
    const SymbolTerms& terms = terminal().terms;
    // The filling modes a symbol allows are flags: FOK 1, IOC 2; RETURN is
    // the exchange mode, allowed when neither is required.
    const bool filling_allowed = request.type_filling == ORDER_FILLING_FOK   ? (terms.filling & SYMBOL_FILLING_FOK) != 0
                                 : request.type_filling == ORDER_FILLING_IOC ? (terms.filling & SYMBOL_FILLING_IOC) != 0
                                                                             : terms.filling == 0;
    if (!filling_allowed) {
        result.retcode = TRADE_RETCODE_INVALID_FILL;
        result.comment = "Unsupported filling mode";
        last_error_ = 4756;  // ERR_TRADE_SEND_FAILED
        return false;
    }
    if (!volume_allowed(request.volume)) {
        result.retcode = TRADE_RETCODE_INVALID_VOLUME;
        result.comment = "Invalid volume";
        last_error_ = 4756;
        return false;
    }
    // The server's answer: done, or what --trade-reply plants. OrderSend's
    // true says only that the request went out; the retcode says what
    // became of it (a requote places nothing, a partial fill half).
    const uint reply = requoted()                      ? TRADE_RETCODE_REQUOTE
                       : terminal().trade_reply != 0 ? terminal().trade_reply
                                                     : TRADE_RETCODE_DONE;
    result.retcode = reply;
    result.price = request.price;
    if (reply != TRADE_RETCODE_DONE && reply != TRADE_RETCODE_DONE_PARTIAL) {
        result.comment = reply == TRADE_RETCODE_REQUOTE ? "Requote" : "Rejected";
        return true;
    }
    const int type = request.type == ORDER_TYPE_BUY ? 0 : 1;
    const Position* closing = nullptr;
    if (request.position != 0) {
        closing = position(static_cast<int>(request.position));
        if (closing == nullptr || closing->symbol != request.symbol.str()) {
            result.retcode = TRADE_RETCODE_POSITION_CLOSED;
            result.comment = "Position doesn't exist";
            return true;
        }
        if (closing->type == type || request.volume > closing->volume + 1e-9) {
            result.retcode = TRADE_RETCODE_INVALID;
            result.comment = "Invalid request";
            return true;
        }
    }
    if (!terminal().netting) {
        if (closing != nullptr ? fifo_refuses_close(*closing) : fifo_refuses_open(request.symbol.str(), type)) {
            result.retcode = closing != nullptr ? TRADE_RETCODE_FIFO_CLOSE : TRADE_RETCODE_HEDGE_PROHIBITED;
            result.comment = closing != nullptr ? "FIFO close" : "Hedge prohibited";
            return true;
        }
    }
    book_deal(request, reply == TRADE_RETCODE_DONE ? request.volume : request.volume / 2, result);
    return true;
}

void Program5::book_deal(const MqlTradeRequest& request, double filled, MqlTradeResult& result) {
    const int type = request.type == ORDER_TYPE_BUY ? 0 : 1;
    Position* held = request.position != 0 ? position(static_cast<int>(request.position)) : nullptr;
    if (terminal().netting && held == nullptr)
        for (Position& open : terminal().positions)
            if (open.symbol == request.symbol.str()) held = &open;
    if (held == nullptr || held->type == type) {
        // A new position (a hedging account, or nothing held on the symbol),
        // or a netting account's position grows.
        const int ticket = place_order(request.symbol, type, filled, request.price, request.sl, request.tp,
                                       request.comment, static_cast<mql_long>(request.magic),
                                       static_cast<mql_long>(request.deviation), held == nullptr);
        if (held != nullptr) held->volume += filled;
        result.order = result.deal = static_cast<mql_ulong>(ticket);
        result.volume = filled;
        return;
    }
    // The deal closes (part of) the position, printed as MQL4's OrderClose
    // prints a close; on a netting account the rest opens the other way.
    // (The deal keeps the position's ticket, so the runner numbers orders
    // as MetaTrader 4 numbers them.)
    const double closed = std::min(filled, held->volume);
    int ticket = held->ticket;
    close_position(ticket, closed, request.price);
    if (filled > closed + 1e-9)
        ticket = place_order(request.symbol, type, filled - closed, request.price, request.sl, request.tp,
                             request.comment, static_cast<mql_long>(request.magic),
                             static_cast<mql_long>(request.deviation));
    result.order = result.deal = static_cast<mql_ulong>(ticket);
    result.volume = filled;
}

mql_long Program5::AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER property) {
    if (property == ACCOUNT_MARGIN_MODE)
        return terminal().netting ? ACCOUNT_MARGIN_MODE_RETAIL_NETTING : ACCOUNT_MARGIN_MODE_RETAIL_HEDGING;
    if (property == ACCOUNT_FIFO_CLOSE) return terminal().fifo ? 1 : 0;
    return 0;
}

mql_ulong Program5::PositionGetTicket(int index) {
    const auto& positions = terminal().positions;
    if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) {
        last_error_ = 4753;  // ERR_TRADE_POSITION_NOT_FOUND
        return 0;
    }
    selected_ = positions[static_cast<std::size_t>(index)];
    return static_cast<mql_ulong>(selected_.ticket);
}

bool Program5::PositionSelectByTicket(mql_ulong ticket) {
    const Position* open = position(static_cast<int>(ticket));
    if (open == nullptr) {
        last_error_ = 4753;
        return false;
    }
    selected_ = *open;
    return true;
}

mql_long Program5::PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER property) {
    switch (property) {
    case POSITION_TICKET: return selected_.ticket;
    case POSITION_TIME: return selected_.time;
    case POSITION_TYPE: return selected_.type;
    case POSITION_MAGIC: return selected_.magic;
    }
    return 0;
}

double Program5::PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE property) {
    return property == POSITION_VOLUME ? selected_.volume : selected_.price;
}

string Program5::PositionGetString(ENUM_POSITION_PROPERTY_STRING property) {
    return string(property == POSITION_SYMBOL ? selected_.symbol : selected_.comment);
}

bool CTrade::deal(ENUM_ORDER_TYPE type, double volume, const string& symbol, double price, double sl, double tp,
                  const string& comment, mql_ulong position) {
    result_ = MqlTradeResult{};
    if (program_ == nullptr) return false;
    MqlTradeRequest request;
    request.action = TRADE_ACTION_DEAL;
    request.symbol = symbol.str().empty() ? program_->Symbol() : symbol;
    request.type = type;
    request.volume = volume;
    request.price = price != 0.0 ? price
                                 : program_->SymbolInfoDouble(request.symbol,
                                                              type == ORDER_TYPE_BUY ? SYMBOL_ASK : SYMBOL_BID);
    request.sl = sl;
    request.tp = tp;
    request.deviation = deviation_;
    request.type_filling = filling_;
    request.magic = magic_;
    request.comment = comment;
    request.position = position;
    return program_->OrderSend(request, result_);
}

bool CTrade::PositionClose(const string& symbol, mql_ulong deviation) {
    const Position* open = nullptr;
    if (program_ != nullptr)
        for (const Position& held : program_->terminal().positions)
            if (open == nullptr && held.symbol == symbol.str()) open = &held;
    if (open == nullptr) {
        result_ = MqlTradeResult{};
        if (program_ != nullptr) program_->last_error_ = 4753;  // ERR_TRADE_POSITION_NOT_FOUND
        return false;
    }
    const mql_ulong kept = deviation_;
    if (deviation != ~mql_ulong{0}) deviation_ = deviation;
    const bool sent = deal(open->type == 0 ? ORDER_TYPE_SELL : ORDER_TYPE_BUY, open->volume, symbol, 0.0, 0.0, 0.0,
                           string(), static_cast<mql_ulong>(open->ticket));
    deviation_ = kept;
    return sent;
}

Program5::CustomHandle* Program5::handle_entry(int handle) {
    const int slot = handle - 10;  // MetaTrader's first handle is 10
    if (slot < 0 || static_cast<std::size_t>(slot) >= handles_.size()) return nullptr;
    return &handles_[static_cast<std::size_t>(slot)];
}

int Program5::CopyBuffer(int handle, int buffer, int start, int count, array<double>& out) {
    const CustomHandle* entry = handle_entry(handle);
    if (entry == nullptr || !entry->live || start < 0 || count <= 0) return -1;
    const CustomHandle& source = *entry;
    std::vector<double> values;  // newest first
    for (int shift = start; shift < start + count; ++shift) {
        double value = 0;
        if (!custom_value(source.symbol, source.minutes, source.name, source.inputs, buffer, shift, &value)) break;
        values.push_back(value);
    }
    if (values.empty()) return -1;
    out.resize(static_cast<int>(values.size()));
    // Storage is oldest first; a series array reads it from the newest.
    auto& storage = out.storage();
    for (std::size_t i = 0; i < values.size(); ++i) storage[values.size() - 1 - i] = values[i];
    return static_cast<int>(values.size());
}

int Program5::BarsCalculated(int handle) {
    CustomHandle* entry = handle_entry(handle);
    if (entry == nullptr || !entry->live) return -1;
    // The terminal calculates an indicator in its own time: with
    // --not-ready N its first N answers are -1 (not calculated yet).
    if (entry->calculated_calls++ < terminal().not_ready) {
        last_error_ = ERR_INDICATOR_DATA_NOT_FOUND;
        return -1;
    }
    double value = 0;  // a read of its newest bar brings it up to date
    if (!custom_value(entry->symbol, entry->minutes, entry->name, entry->inputs, 0, 0, &value)) return -1;
    int bars = 0;
    runner_chart(entry->symbol, &bars);
    // With --not-ready the indicator also lags a new bar: the first call
    // after one answers the bars before it.
    const int seen = entry->seen_bars;
    entry->seen_bars = bars;
    if (terminal().not_ready > 0 && seen > 0 && bars > seen) return seen;
    return bars;
}

bool Program5::IndicatorRelease(int handle) {
    CustomHandle* entry = handle_entry(handle);
    if (entry == nullptr) return false;
    entry->live = false;
    return true;
}

}  // namespace mql::mql5
