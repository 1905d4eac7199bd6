#include "tools/mql4run/runtime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace mql {

void critical_error(const std::string& what) {
    throw RunStop{kExitRuntimeError, "critical error: " + what};
}

ChartObject* Chart::find(const std::string& name) {
    const auto it = by_name_.find(name);
    return it == by_name_.end() ? nullptr : &*it->second;
}

ChartObject* Chart::add(ChartObject object) {
    if (by_name_.count(object.name) != 0) return nullptr;
    objects.push_back(std::move(object));
    const auto placed = std::prev(objects.end());
    by_name_.emplace(placed->name, placed);
    return &*placed;
}

bool Chart::remove(const std::string& name) {
    const auto it = by_name_.find(name);
    if (it == by_name_.end()) return false;
    objects.erase(it->second);
    by_name_.erase(it);
    return true;
}

// ---- the stdcall thunk ----------------------------------------------------------
#if defined(__i386__)
// cdecl: (address, words, count, float_result, result*) -> stack difference.
// The arguments are copied to a 16-byte aligned block, the export is called,
// and the stack pointer it leaves is compared with the one a correct stdcall
// callee leaves (the block popped). The frame pointer restores the stack
// either way, so a wrong declaration is reported rather than fatal.
extern "C" std::int32_t mql4run_call_stdcall(void* address, const std::uint32_t* words, int count,
                                              int float_result, CallResult* result)
    asm("mql4run_call_stdcall");
asm(R"(
    .text
    .globl mql4run_call_stdcall
mql4run_call_stdcall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx
    leal 0(,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp
    movl 12(%ebp), %esi
    movl %esp, %edi
    cld
    rep movsl
    movl %edi, %ebx
    call *8(%ebp)
    movl 24(%ebp), %ecx
    movl %eax, 0(%ecx)
    movl %edx, 4(%ecx)
    cmpl $0, 20(%ebp)
    je 1f
    fstpl 8(%ecx)
1:
    movl %esp, %eax
    subl %ebx, %eax
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif

bool call_export_words([[maybe_unused]] void* address, [[maybe_unused]] const std::uint32_t* words,
                       [[maybe_unused]] int count, [[maybe_unused]] bool float_result,
                       [[maybe_unused]] CallResult* result, std::int32_t* stack_difference) {
#if defined(__i386__)
    *stack_difference = mql4run_call_stdcall(address, words, count, float_result ? 1 : 0, result);
    return true;
#else
    *stack_difference = 0;
    return false;
#endif
}

// ---- arguments ----------------------------------------------------------------
namespace {
std::string number_text(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    // The shortest form that reads back the same.
    for (int digits = 1; digits <= 17; ++digits) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return text;
}

// Code points of UTF-8 text. Unlike the platform's codec (which makes them
// U+FFFD), bytes that are not UTF-8 pass as themselves: an MQL4 "\xE9" in a
// program's text arrives here as the single byte E9 and means U+00E9.
std::vector<std::uint32_t> code_points(const std::string& text) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        if (extra && i + static_cast<std::size_t>(extra) >= text.size()) extra = 0;
        std::uint32_t point = extra ? byte & (0x3F >> extra) : byte;
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            ok = ok && (next & 0xC0) == 0x80;
            point = point << 6 | (next & 0x3F);
        }
        if (!ok) extra = 0, point = byte;
        points.push_back(point);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return points;
}

std::string utf8(std::uint32_t point) {
    std::string out;
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
    return out;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}
}  // namespace

std::string string::shortest_text(double value) { return number_text(value); }

std::string ArgF32::shown() const { return number_text(value); }
std::string ArgF64::shown() const { return number_text(value); }
std::string ArgWide::shown() const {
    std::string text;
    for (wchar_t c : *buffer) text += utf8(static_cast<std::uint32_t>(c));
    return quoted(text);
}

ArgWide arg_wstr(const string& v) {
    auto buffer = std::make_shared<std::wstring>();
    for (std::uint32_t point : code_points(v.str())) {
        if (sizeof(wchar_t) == 2 && point >= 0x10000) {
            point -= 0x10000;
            buffer->push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
            buffer->push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FF)));
        } else {
            buffer->push_back(static_cast<wchar_t>(point));
        }
    }
    return {buffer, buffer->c_str()};
}

std::string shown_bytes(const unsigned char* bytes, std::size_t size) {
    std::size_t length = 0;
    while (length < size && bytes[length] != 0) ++length;
    return quoted(std::string(reinterpret_cast<const char*>(bytes), length));
}

// ---- output ---------------------------------------------------------------------
void Program::append(std::ostringstream& out, double v) { out << number_text(v); }

void Program::print_line(const std::string& line) { std::cerr << line << '\n'; }

void Program::alert_line(const std::string& line) {
    runner().alerts.push_back(line);
    std::cerr << "alert: " << line << '\n';
}

bool Program::SendNotification(const string& text) {
    if (!runner().notifications) {
        last_error_ = 4250;  // ERR_NOTIFICATION_SEND_FAILED: switched off in the terminal
        return false;
    }
    // The terminal's limits: 2 a second and 10 a minute. Past them it drops
    // the notification; here the run ends, naming the call, so a program
    // that bursts (one per bar after a reconnection, several charts) shows.
    auto& sent = runner().notified_ms;
    const std::int64_t now = runner().clock_ms;
    const auto within = [&](std::int64_t span) {
        return std::count_if(sent.begin(), sent.end(), [&](std::int64_t at) { return now - at < span; });
    };
    if (within(1000) >= 2 || within(60000) >= 10)
        throw RunStop{kExitRuntimeError, "SendNotification(\"" + text.str() +
                                             "\"): over the terminal's limit of 2 notifications a second and 10 a "
                                             "minute (" + std::to_string(within(1000)) + " in the last second, " +
                                             std::to_string(within(60000)) + " in the last minute)"};
    sent.push_back(now);
    std::cerr << "notification: " << text.str() << '\n';
    return true;
}

void Program::log_import(const BoundImport& import, const std::vector<std::string>& args,
                         const std::string& result) {
    std::string line = std::string("import: ") + import.name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + args[i];
    line += ")";
    if (!result.empty()) line += " = " + result;
    std::cerr << line << '\n';
}

void Program::stack_mismatch(const BoundImport& import, std::int32_t difference) {
    // difference = the stack pointer left - the one a callee popping every
    // argument leaves: below 0 the export popped fewer bytes than were passed.
    const std::int32_t bytes = difference < 0 ? -difference : difference;
    throw RunStop{kExitStack, std::string("stack mismatch after ") + import.library + " " +
                                  import.name + ": the export popped " + std::to_string(bytes) +
                                  (difference < 0 ? " bytes fewer" : " bytes more") +
                                  " than its MQL4 declaration passes (a wrong #import declaration)"};
}

void Program::pointer_refused(const BoundImport& import) {
    throw RunStop{kExitNotRunnable,
                  std::string(import.name) + " of " + import.library +
                      " passes a memory address through an MQL4 int, which is 32 bits here: "
                      "run this program with the 32-bit mql4run.exe"};
}

// ---- indicator buffers -----------------------------------------------------------
bool Program::SetIndexBuffer(int index, array<double>& buffer, ENUM_INDEXBUFFER_TYPE) {
    if (index < 0 || index > 511) return false;
    if (buffers_.size() <= static_cast<std::size_t>(index))
        buffers_.resize(static_cast<std::size_t>(index) + 1);
    Buffer& bound = buffers_[static_cast<std::size_t>(index)];
    bound.values = &buffer;
    if (context_.dialect == Dialect::mql4) {
        buffer.set_series(true);
    } else {
        bound.empty = kEmptyValue5;
    }
    grow_buffers(chart().time.size());
    return true;
}

std::vector<std::pair<const std::vector<double>*, double>> Program::indicator_buffers() const {
    std::vector<std::pair<const std::vector<double>*, double>> out;
    for (const Buffer& buffer : buffers_)
        out.emplace_back(buffer.values != nullptr ? &buffer.values->storage() : nullptr, buffer.empty);
    return out;
}

void Program::set_empty_value(int index, double value) {
    if (index >= 0 && static_cast<std::size_t>(index) < buffers_.size())
        buffers_[static_cast<std::size_t>(index)].empty = value;
}

void Program::grow_buffers(int bars) {
    for (Buffer& buffer : buffers_) {
        if (buffer.values == nullptr) continue;
        auto& storage = buffer.values->storage();
        storage.resize(static_cast<std::size_t>(bars < 0 ? 0 : bars), buffer.empty);
    }
}

// ---- the chart -----------------------------------------------------------------
mql_long Program::ChartGetInteger(mql_long, ENUM_CHART_PROPERTY_INTEGER property, int) {
    if (property == CHART_WINDOW_HANDLE) return static_cast<mql_long>(chart().window);
    if (property == CHART_COLOR_BACKGROUND) return chart().background;
    if (property == CHART_COLOR_FOREGROUND) return chart().foreground;
    // The window shows the newest bars, scrolled to the end.
    const int shown = std::min(chart().visible_bars, chart().time.size());
    if (property == CHART_VISIBLE_BARS) return shown;
    if (property == CHART_FIRST_VISIBLE_BAR) return shown > 0 ? shown - 1 : 0;
    return 0;
}

mql_long Program::open_chart(const string& symbol, int minutes) {
    int bars = 0;
    if (symbol_chart(symbol.str(), 0, &bars, false) == nullptr) return 0;
    // In minutes whatever the dialect, so both kits' runs read alike.
    print_line("chart opened: " + symbol.str() + " " + std::to_string(minutes == 0 ? chart().period : minutes));
    return 1;  // the runner has one chart window; the opened chart is only reported
}

int timeframe_minutes(Dialect dialect, int timeframe) {
    if (dialect == Dialect::mql4) return timeframe;
    // MQL5: minutes up to 30; 0x4000 | hours; 0x8000 | 1 a week; 0xC000 | 1 a month.
    switch (timeframe & 0xC000) {
    case 0x4000: return (timeframe & 0x3FFF) * 60;
    case 0x8000: return (timeframe & 0x3FFF) * 10080;
    case 0xC000: return (timeframe & 0x3FFF) * 43200;
    default: return timeframe;
    }
}

int Program::period_code() const {
    if (context_.dialect == Dialect::mql4) return context_.chart->period;
    const int period = context_.chart->period;
    if (period % 43200 == 0) return 0xC000 | period / 43200;
    if (period % 10080 == 0) return 0x8000 | period / 10080;
    if (period >= 60 && period % 60 == 0) return 0x4000 | period / 60;
    return period;
}

Dialect dialect_of(const std::string& file) {
    const std::size_t n = file.size();
    const bool mq5 = n >= 4 && file[n - 4] == '.' && (file[n - 3] | 0x20) == 'm' && (file[n - 2] | 0x20) == 'q' &&
                     file[n - 1] == '5';
    return mq5 ? Dialect::mql5 : Dialect::mql4;
}

double Program::SymbolInfoDouble(const string& symbol, ENUM_SYMBOL_INFO_DOUBLE property) {
    const SymbolTerms& terms = runner().terms;
    switch (property) {
    case SYMBOL_BID:
    case SYMBOL_ASK: return bar_value(symbol, 0, 0, 3);  // the forming bar's close, as Ask and Bid
    case SYMBOL_VOLUME_MIN: return terms.volume_min;
    case SYMBOL_VOLUME_MAX: return terms.volume_max;
    case SYMBOL_VOLUME_STEP: return terms.volume_step;
    }
    return 0;
}

mql_long Program::SymbolInfoInteger(const string&, ENUM_SYMBOL_INFO_INTEGER property) {
    if (property == SYMBOL_FILLING_MODE) return runner().terms.filling;
    if (property == SYMBOL_DIGITS) return runner().terms.digits;
    return 0;
}

bool Program::SymbolSelect(const string& symbol, bool select) {
    int bars = 0;
    if (symbol_chart(symbol.str(), 0, &bars, false) == nullptr) return false;  // no such symbol on the server
    runner().selected[symbol.str()] = select;
    return true;
}

int Program::place_order(const string& symbol, int command, double volume, double price, double stoploss,
                         double takeprofit, const string& comment, mql_long magic) {
    std::ostringstream line;
    line << "order: " << (command == 0 ? "buy " : command == 1 ? "sell " : "command ") << symbol.str() << ' '
         << number_text(volume) << " at " << number_text(price) << " sl " << number_text(stoploss) << " tp "
         << number_text(takeprofit) << " magic " << magic << " \"" << comment.str() << '"';
    print_line(line.str());
    return ++runner().orders;
}

bool Program::custom_value(const std::string& symbol, int minutes, const std::string& name,
                           const std::vector<std::string>& inputs, int mode, int shift, double* value) {
    return runner().custom && runner().custom(*this, symbol, minutes, name, inputs, mode, shift, value);
}

// ---- other symbols ------------------------------------------------------------------
int Program::SymbolsTotal(bool) { return static_cast<int>(runner().symbols.size()); }

string Program::SymbolName(int pos, bool) {
    const auto& symbols = runner().symbols;
    if (pos < 0 || static_cast<std::size_t>(pos) >= symbols.size()) return string();
    return string(symbols[static_cast<std::size_t>(pos)].first);
}

const Chart* Program::symbol_chart(const std::string& symbol, int minutes, int* bars, bool program_call) {
    *bars = 0;
    if (minutes != 0 && minutes != chart().period) return nullptr;  // one timeframe per run
    if (symbol.empty() || symbol == chart().symbol) {
        *bars = chart().time.size();
        return &chart();
    }
    for (const auto& [name, other] : runner().symbols) {
        if (name != symbol) continue;
        if (program_call && runner().not_ready > 0) {
            // The terminal loads another symbol's history on its first
            // requests: they find nothing until it is there.
            int& asked = runner().loading[name + '\n' + std::to_string(minutes)];
            if (asked < runner().not_ready) {
                ++asked;
                last_error_ = 4066;  // ERR_HISTORY_WILL_UPDATED
                return nullptr;
            }
        }
        const auto& times = other->time.storage();
        const auto& own = chart().time.storage();
        const datetime now = own.empty() ? std::numeric_limits<datetime>::min() : own.back();
        *bars = static_cast<int>(std::upper_bound(times.begin(), times.end(), now) - times.begin());
        return other;
    }
    return nullptr;
}

int Program::bars_of(const string& symbol, int minutes) {
    int bars = 0;
    symbol_chart(symbol.str(), minutes, &bars);
    return bars;
}

double Program::bar_value(const string& symbol, int minutes, int shift, int field) {
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;  // MQL4 answers 0
    const auto at = static_cast<std::size_t>(bars - 1 - shift);
    const array<double>* series[] = {&source->open, &source->high, &source->low, &source->close};
    return series[field]->storage()[at];
}

mql_long Program::volume_of(const string& symbol, int minutes, int shift) {
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;
    return source->tick_volume.storage()[static_cast<std::size_t>(bars - 1 - shift)];
}

datetime Program::time_of(const string& symbol, int minutes, int shift) {
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;
    return source->time.storage()[static_cast<std::size_t>(bars - 1 - shift)];
}

int Program::copy_rates(const string& symbol, int minutes, int start, int count, array<MqlRates>& rates) {
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || start < 0 || count <= 0 || start >= bars) return -1;
    const int copied = std::min(count, bars - start);
    rates.resize(copied);
    // Oldest first in storage; a series array reads it from the newest.
    auto& storage = rates.storage();
    const int oldest = bars - start - copied;
    for (int i = 0; i < copied; ++i) {
        const auto at = static_cast<std::size_t>(oldest + i);
        MqlRates& bar = storage[static_cast<std::size_t>(i)];
        bar.time = source->time.storage()[at];
        bar.open = source->open.storage()[at];
        bar.high = source->high.storage()[at];
        bar.low = source->low.storage()[at];
        bar.close = source->close.storage()[at];
        bar.tick_volume = source->tick_volume.storage()[at];
        bar.real_volume = source->volume.storage()[at];
        bar.spread = source->spread.storage()[at];
    }
    return copied;
}

int Program::bar_shift(datetime time, bool exact) {
    const auto& times = chart().time.storage();
    if (times.empty()) return -1;
    // The newest bar whose time is not after `time`.
    auto it = std::upper_bound(times.begin(), times.end(), time);
    if (it == times.begin()) return exact ? -1 : static_cast<int>(times.size()) - 1;
    --it;
    if (exact && *it != time) return -1;
    return static_cast<int>(times.end() - it) - 1;
}

mql_long Program::TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER property) {
    if (property == TERMINAL_SCREEN_DPI) return runner().dpi;
    return property == TERMINAL_NOTIFICATIONS_ENABLED ? runner().notifications : 0;
}

// ---- objects ---------------------------------------------------------------------
bool Program::ObjectCreate(mql_long, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                           double price1) {
    if (name.str().empty()) return false;
    if (ChartObject* existing = chart().find(name.str())) {
        // MetaTrader 4 refuses the name (error 4200); MetaTrader 5 moves
        // the object of that name, of any type and owner, and answers true.
        if (context_.dialect == Dialect::mql4 || existing->type != type) {
            last_error_ = 4200;
            return false;
        }
        if (type != OBJ_LABEL) {
            existing->integers[OBJPROP_TIME] = time1;
            existing->doubles[OBJPROP_PRICE] = price1;
        }
        existing->window = sub_window;
        return true;
    }
    ChartObject object;
    object.name = name.str();
    object.type = type;
    object.window = sub_window;
    if (type != OBJ_LABEL) {  // a label sits at a corner distance, not at a bar
        object.integers[OBJPROP_TIME] = time1;
        object.doubles[OBJPROP_PRICE] = price1;
    }
    return chart().add(std::move(object)) != nullptr;
}

bool Program::ObjectCreate(mql_long chart_id, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                           double price1, datetime time2, double price2) {
    if (!ObjectCreate(chart_id, name, type, sub_window, time1, price1)) return false;
    ChartObject* object = chart().find(name.str());
    object->two_points = true;
    object->time2 = time2;
    object->price2 = price2;
    return true;
}

bool Program::ObjectMove(mql_long, const string& name, int point, datetime time, double price) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr || point < 0 || point > (object->two_points ? 1 : 0)) return false;
    if (point == 0) {
        object->integers[OBJPROP_TIME] = time;
        object->doubles[OBJPROP_PRICE] = price;
    } else {
        object->time2 = time;
        object->price2 = price;
    }
    return true;
}

bool Program::ObjectDelete(mql_long, const string& name) { return chart().remove(name.str()); }

int Program::ObjectFind(mql_long, const string& name) {
    const ChartObject* object = chart().find(name.str());
    return object == nullptr ? -1 : object->window;
}

namespace {
bool matches(const ChartObject& object, int sub_window, int type) {
    return (sub_window < 0 || object.window == sub_window) && (type < 0 || object.type == type);
}
}  // namespace

int Program::ObjectsTotal(mql_long, int sub_window, int type) {
    int count = 0;
    for (const ChartObject& object : chart().objects) count += matches(object, sub_window, type);
    return count;
}

string Program::ObjectName(mql_long, int pos, int sub_window, int type) {
    int index = 0;
    for (const ChartObject& object : chart().objects) {
        if (!matches(object, sub_window, type)) continue;
        if (index++ == pos) return string(object.name);
    }
    return string();
}

int Program::ObjectsDeleteAll(mql_long, const string& prefix, int sub_window, int type) {
    return chart().remove_if([&](const ChartObject& object) {
        return matches(object, sub_window, type) && object.name.compare(0, prefix.str().size(), prefix.str()) == 0;
    });
}

int Program::ObjectsDeleteAll(mql_long chart_id, int sub_window, int type) {
    return ObjectsDeleteAll(chart_id, string(), sub_window, type);
}

bool Program::ObjectSetInteger(mql_long, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property, mql_long value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    object->integers[property] = value;
    return true;
}

bool Program::ObjectSetDouble(mql_long, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property, double value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    object->doubles[property] = value;
    return true;
}

bool Program::ObjectSetString(mql_long, const string& name, ENUM_OBJECT_PROPERTY_STRING property, const string& value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    // MetaTrader 4 shows at most 63 characters of a text or label: the rest
    // is cut. The run ends instead, so a row that would lose its end shows.
    if (context_.dialect == Dialect::mql4 && property == OBJPROP_TEXT &&
        (object->type == OBJ_LABEL || object->type == OBJ_TEXT) && StringLen(value) > 63)
        throw RunStop{kExitRuntimeError, "ObjectSetString(" + name.str() + ", OBJPROP_TEXT): " +
                                             std::to_string(StringLen(value)) +
                                             " characters, MetaTrader 4 shows 63 of a label's text: \"" +
                                             value.str() + "\""};
    object->strings[property] = value.str();
    return true;
}

mql_long Program::ObjectGetInteger(mql_long, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return 0;
    auto it = object->integers.find(property);
    return it == object->integers.end() ? 0 : it->second;
}

double Program::ObjectGetDouble(mql_long, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return 0;
    auto it = object->doubles.find(property);
    return it == object->doubles.end() ? 0 : it->second;
}

string Program::ObjectGetString(mql_long, const string& name, ENUM_OBJECT_PROPERTY_STRING property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return string();
    auto it = object->strings.find(property);
    return it == object->strings.end() ? string() : string(it->second);
}

// ---- timers and the virtual clock ------------------------------------------------
bool Program::EventSetMillisecondTimer(int milliseconds) {
    if (milliseconds <= 0) return false;
    timer_ms_ = milliseconds;
    return true;
}

void Program::Sleep(int milliseconds) {
    if (milliseconds > 0) runner().clock_ms += milliseconds;
    if (runner().pump) runner().pump();
}

// ---- global variables of the terminal -------------------------------------------
datetime Program::GlobalVariableSet(const string& name, double value) {
    runner().globals[name.str()] = value;
    return TimeCurrent();
}
double Program::GlobalVariableGet(const string& name) {
    auto it = runner().globals.find(name.str());
    return it == runner().globals.end() ? 0 : it->second;
}
bool Program::GlobalVariableCheck(const string& name) { return runner().globals.count(name.str()) != 0; }
bool Program::GlobalVariableDel(const string& name) { return runner().globals.erase(name.str()) != 0; }

// ---- free built-ins -----------------------------------------------------------------
string IntegerToString(mql_long value, int length, ushort fill) {
    std::string text = std::to_string(value);
    if (length > 0 && static_cast<int>(text.size()) < length)
        text.insert(0, static_cast<std::size_t>(length) - text.size(), static_cast<char>(fill));
    return string(text);
}

string DoubleToString(double value, int digits) {
    if (digits < 0 || digits > 16) digits = 8;
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return string(text);
}

namespace {

// The UTC date and time of seconds since 1970 (earlier ones too), counted
// out as the proleptic Gregorian calendar has it (days to civil date after
// H. Hinnant's algorithm); false for a year beyond what a tm holds.
bool utc_parts(datetime value, std::tm* parts) {
    long long days = value / 86400;
    long long rest = value % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;  // from 0000-03-01
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long day_of_era = days - era * 146097;
    const long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long month_index = (5 * day_of_year + 2) / 153;  // March is 0
    const long long day = day_of_year - (153 * month_index + 2) / 5 + 1;
    const long long month = month_index < 10 ? month_index + 3 : month_index - 9;
    const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    if (year - 1900 > std::numeric_limits<int>::max() || year - 1900 < std::numeric_limits<int>::min()) return false;
    *parts = std::tm{};
    parts->tm_year = static_cast<int>(year - 1900);
    parts->tm_mon = static_cast<int>(month - 1);
    parts->tm_mday = static_cast<int>(day);
    parts->tm_hour = static_cast<int>(rest / 3600);
    parts->tm_min = static_cast<int>(rest / 60 % 60);
    parts->tm_sec = static_cast<int>(rest % 60);
    return true;
}

}  // namespace

string TimeToString(datetime value, int mode) {
    std::tm parts{};
    if (!utc_parts(value, &parts)) return string();
    char text[64] = "";
    std::string out;
    if (mode & TIME_DATE) {
        std::snprintf(text, sizeof text, "%04d.%02d.%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                      parts.tm_mday);
        out += text;
    }
    if (mode & (TIME_MINUTES | TIME_SECONDS)) {
        if (!out.empty()) out += ' ';
        if (mode & TIME_SECONDS)
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
        else
            std::snprintf(text, sizeof text, "%02d:%02d", parts.tm_hour, parts.tm_min);
        out += text;
    }
    return string(out);
}

int StringFind(const string& text, const string& match, int start) {
    if (start < 0) start = 0;
    const auto found = text.str().find(match.str(), static_cast<std::size_t>(start));
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

int StringLen(const string& text) {
    int units = 0;
    for (std::uint32_t point : code_points(text.str())) units += point >= 0x10000 ? 2 : 1;
    return units;
}

string StringSubstr(const string& text, int start, int length) {
    if (start < 0 || static_cast<std::size_t>(start) >= text.str().size()) return string();
    return string(text.str().substr(static_cast<std::size_t>(start),
                                    length < 0 ? std::string::npos : static_cast<std::size_t>(length)));
}

// CP_ACP is taken as Latin-1 (a character above 255 becomes '?'), CP_UTF8 as
// UTF-8. With the whole text (count -1 or WHOLE_ARRAY) the terminating NUL
// is copied too, as MQL4 does.
int StringToCharArray(const string& text, array<uchar>& bytes, int start, int count, uint codepage) {
    std::string encoded;
    if (codepage == CP_UTF8) {
        encoded = text.str();
    } else {
        for (std::uint32_t point : code_points(text.str()))
            encoded += static_cast<char>(point > 0xFF ? '?' : point);
    }
    encoded.push_back('\0');
    if (start < 0) start = 0;
    std::size_t copied = encoded.size();  // count -1 or WHOLE_ARRAY: everything
    if (count > 0 && static_cast<std::size_t>(count) < copied) copied = static_cast<std::size_t>(count);
    auto& storage = bytes.storage();
    if (storage.size() < static_cast<std::size_t>(start) + copied)
        storage.resize(static_cast<std::size_t>(start) + copied);
    std::memcpy(storage.data() + start, encoded.data(), copied);
    return static_cast<int>(copied);
}

string CharArrayToString(const array<uchar>& bytes, int start, int count, uint codepage) {
    const auto& storage = bytes.storage();
    if (start < 0 || static_cast<std::size_t>(start) >= storage.size()) return string();
    std::size_t end = storage.size();
    if (count >= 0 && static_cast<std::size_t>(start + count) < end) end = static_cast<std::size_t>(start + count);
    std::string out;
    for (std::size_t i = static_cast<std::size_t>(start); i < end && storage[i] != 0; ++i) {
        if (codepage == CP_UTF8)
            out += static_cast<char>(storage[i]);
        else
            out += utf8(storage[i]);
    }
    return string(out);
}

string CharToString(uchar code) { return string(utf8(code)); }

ushort StringGetCharacter(const string& text, int pos) {
    if (pos < 0 || static_cast<std::size_t>(pos) >= text.str().size()) return 0;
    return static_cast<unsigned char>(text.str()[static_cast<std::size_t>(pos)]);
}

mql_long StringToInteger(const string& text) {
    try {
        return std::stoll(text.str());
    } catch (const std::exception&) {  // no number, or out of range: MQL4 answers 0
        return 0;
    }
}

namespace {
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
std::string trimmed_left(const std::string& t) {
    std::size_t from = 0;
    while (from < t.size() && blank(t[from])) ++from;
    return t.substr(from);
}

std::string trimmed_right(std::string t) {
    while (!t.empty() && blank(t.back())) t.pop_back();
    return t;
}
}  // namespace

namespace mql4 {
string StringTrimLeft(const string& text) { return string(trimmed_left(text.str())); }
string StringTrimRight(const string& text) { return string(trimmed_right(text.str())); }
}  // namespace mql4

namespace mql5 {
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
}  // namespace mql5

bool StringToUpper(string& text) {
    std::string t = text.str();
    for (char& c : t)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    text = string(t);
    return true;
}

int StringSplit(const string& text, ushort separator, array<string>& parts) {
    parts.resize(0);
    const std::string& t = text.str();
    if (t.empty()) return 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = t.find(static_cast<char>(separator), from);
        parts.append(string(t.substr(from, at == std::string::npos ? std::string::npos : at - from)));
        if (at == std::string::npos) break;
        from = at + 1;
    }
    return parts.size();
}

double NormalizeDouble(double value, int digits) {
    const double scale = std::pow(10.0, digits < 0 ? 0 : digits > 8 ? 8 : digits);
    return std::round(value * scale) / scale;
}

// ---- inputs --------------------------------------------------------------------------
bool parse_string(const std::string& text, string* value) {
    *value = string(text);
    return true;
}

bool parse_bool(const std::string& text, bool* value) {
    if (text == "true" || text == "1") return *value = true, true;
    if (text == "false" || text == "0") return *value = false, true;
    return false;
}

namespace {

bool all_digits(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to || to > text.size()) return false;
    for (std::size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace

bool parse_whole(const std::string& text, long long* value) {
    const std::size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (!all_digits(text, digits, text.size()) || text.size() - digits > 18) return false;
    *value = std::stoll(text.substr(digits)) * (text[0] == '-' ? -1 : 1);
    return true;
}

// Decimal numbers only: [sign] digits [. digits] [e [sign] digits], or a
// fraction starting with "."; no nan, inf or hexadecimal forms.
bool parse_double(const std::string& text, double* value) {
    std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == start) return false;
    }
    if (i != text.size()) return false;
    const double parsed = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// yyyy.mm.dd or yyyy.mm.dd hh:mi, a real date from 1970.01.01 to
// 3000.12.31 (the range MetaTrader holds).
bool parse_datetime(const std::string& text, datetime* value) {
    if (text.size() != 10 && text.size() != 16) return false;
    if (!all_digits(text, 0, 4) || text[4] != '.' || !all_digits(text, 5, 7) || text[7] != '.' ||
        !all_digits(text, 8, 10))
        return false;
    int h = 0, mi = 0;
    if (text.size() == 16) {
        if (text[10] != ' ' || !all_digits(text, 11, 13) || text[13] != ':' || !all_digits(text, 14, 16))
            return false;
        h = std::stoi(text.substr(11, 2));
        mi = std::stoi(text.substr(14, 2));
        if (h > 23 || mi > 59) return false;
    }
    const int y = std::stoi(text.substr(0, 4)), mo = std::stoi(text.substr(5, 2)),
              d = std::stoi(text.substr(8, 2));
    long long days = 0;
    if (!civil_days(y, mo, d, &days)) return false;
    *value = days * 86400 + h * 3600 + mi * 60;
    return true;
}

bool civil_days(int y, int m, int d, long long* days) {
    static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || y > 3000 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kLength[m - 1] + (m == 2 && leap ? 1 : 0)) return false;
    const int yy = y - (m <= 2);
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    *days = static_cast<long long>(era) * 146097 + doe - 719468;
    return true;
}

}  // namespace mql
