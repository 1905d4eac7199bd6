#include "tools/mql4run/runner.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <cctype>
#include <cstring>
#include <ostream>
#include <utility>

#include "host/chart_data.h"
#include "tools/mql4run/mql5.h"
#include "platform/plain_window.h"


namespace mql4run {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Imports that carry a memory address in an MQL4 int (a text pointer, a
// structure holding one): only where int is a pointer's size can they work.
bool passes_address_through_int(const std::string& library, const std::string& name) {
    const std::string lib = lower(library);
    if (lib == "kernel32.dll") return true;
    // The client exports whose rows say so (library in lower case, name).
    static const std::pair<const char*, const char*> kAddressExports[] = {
#include "boundary/address_exports.inc"
    };
    for (const auto& [dll, export_name] : kAddressExports)
        if (lib == dll && name == export_name) return true;
    return false;
}

constexpr bool kIntHoldsPointer = sizeof(void*) == sizeof(std::int32_t);

// Where the system has no kernel32 (away from Windows), the two functions
// the MQL5 kit imports from it to copy the library's text (its addresses
// travel as long, so they work in any 64-bit build): what Windows' own do.
int stand_in_lstrlenA(const char* text) {
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}
void stand_in_RtlMoveMemory(void* destination, const void* source, std::int64_t length) {
    if (length > 0) std::memmove(destination, source, static_cast<std::size_t>(length));
}

void* kernel32_stand_in(const std::string& name) {
    if (name == "lstrlenA") return reinterpret_cast<void*>(&stand_in_lstrlenA);
    if (name == "RtlMoveMemory") return reinterpret_cast<void*>(&stand_in_RtlMoveMemory);
    return nullptr;
}

// The file that stands for a Windows DLL name in this build's folder.
std::string library_file(const std::string& name) {
    std::string stem = name;
    if (lower(stem).size() > 4 && lower(stem).compare(stem.size() - 4, 4, ".dll") == 0)
        stem.resize(stem.size() - 4);
    return platform::library_file_name(stem);
}

// A bar's date: YYYY-MM-DD (or with . or / between), or YYYYMMDD; a real
// date MetaTrader can hold (mql::civil_days).
bool parse_date(const std::string& text, mql::datetime* time) {
    const auto digits = [&](std::size_t from, std::size_t n) {
        return from + n <= text.size() &&
               std::all_of(text.begin() + static_cast<long>(from),
                           text.begin() + static_cast<long>(from + n), ::isdigit);
    };
    int y = 0, m = 0, d = 0;
    if (text.size() == 10 && digits(0, 4) && digits(5, 2) && digits(8, 2) && text[4] == text[7] &&
        (text[4] == '-' || text[4] == '.' || text[4] == '/')) {
        y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(5, 2)), d = std::stoi(text.substr(8, 2));
    } else if (text.size() == 8 && digits(0, 8)) {
        y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(4, 2)), d = std::stoi(text.substr(6, 2));
    } else {
        return false;
    }
    long long days = 0;
    if (!mql::civil_days(y, m, d, &days)) return false;
    *time = days * 86400;
    return true;
}

std::string date_text(mql::datetime time) {
    const std::string text = mql::TimeToString(time, mql::TIME_DATE).str();  // yyyy.mm.dd
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', '-');
    return out;
}

// An object's line: name, bar date and tooltip, then its drawing facts
// (type, arrow code, colour, anchor, price, text), so a check can tell a
// wrong glyph, colour or side.
std::string object_line(const mql::ChartObject& object, mql::datetime time) {
    const auto integer = [&](int property) -> const mql::mql_long* {
        const auto it = object.integers.find(property);
        return it == object.integers.end() ? nullptr : &it->second;
    };
    // A text with a line break or a tab (a tooltip of "\n", MetaTrader's
    // "none") is written with \n and \t, so that an object is one line.
    const auto text = [&](int property) {
        const auto it = object.strings.find(property);
        std::string shown;
        if (it == object.strings.end()) return shown;
        for (char c : it->second) shown += c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
        return shown;
    };
    static const std::map<int, const char*> kTypes = {
        {mql::OBJ_VLINE, "OBJ_VLINE"}, {mql::OBJ_HLINE, "OBJ_HLINE"}, {mql::OBJ_TREND, "OBJ_TREND"},
        {mql::OBJ_TEXT, "OBJ_TEXT"},
        {mql::OBJ_ARROW, "OBJ_ARROW"}, {mql::OBJ_LABEL, "OBJ_LABEL"},
        {mql::OBJ_ARROW_THUMB_UP, "OBJ_ARROW_THUMB_UP"}, {mql::OBJ_ARROW_UP, "OBJ_ARROW_UP"},
        {mql::OBJ_ARROW_DOWN, "OBJ_ARROW_DOWN"}};
    const auto type = kTypes.find(object.type);
    std::string arrow = "-";
    // The arrow objects whose type fixes their Wingdings code.
    if (object.type == mql::OBJ_ARROW_UP) arrow = "241";
    else if (object.type == mql::OBJ_ARROW_DOWN) arrow = "242";
    else if (object.type == mql::OBJ_ARROW_THUMB_UP) arrow = "67";
    else if (const mql::mql_long* code = integer(mql::OBJPROP_ARROWCODE)) arrow = std::to_string(*code);
    std::string colour = "-";
    if (const mql::mql_long* bgr = integer(mql::OBJPROP_COLOR)) {  // MQL colours are 0x00BBGGRR
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02X%02X%02X", static_cast<unsigned>(*bgr & 0xFF),
                      static_cast<unsigned>((*bgr >> 8) & 0xFF), static_cast<unsigned>((*bgr >> 16) & 0xFF));
        colour = hex;
    }
    std::string anchor = "-";
    // An arrow anchors by its top or bottom; a text or label by one of nine
    // points, shown as its number (ANCHOR_LEFT_UPPER 0 ... ANCHOR_CENTER 8).
    const bool arrow_object = object.type == mql::OBJ_ARROW || object.type == mql::OBJ_ARROW_UP ||
                              object.type == mql::OBJ_ARROW_DOWN || object.type == mql::OBJ_ARROW_THUMB_UP;
    if (const mql::mql_long* a = integer(mql::OBJPROP_ANCHOR))
        anchor = !arrow_object                    ? std::to_string(*a)
                 : *a == mql::ANCHOR_TOP    ? "top"
                 : *a == mql::ANCHOR_BOTTOM ? "bottom"
                                            : std::to_string(*a);
    std::string price = "-";
    const auto p = object.doubles.find(mql::OBJPROP_PRICE);
    if (object.type != mql::OBJ_LABEL && p != object.doubles.end()) {
        char number[64];
        std::snprintf(number, sizeof number, "%.5f", p->second);
        price = number;
        if (object.two_points) {  // a line's two ends: "from..to"
            std::snprintf(number, sizeof number, "..%.5f", object.price2);
            price += number;
        }
    } else if (object.type == mql::OBJ_LABEL) {
        // A label sits at a distance from its corner: "@x,y" in pixels.
        const mql::mql_long* x = integer(mql::OBJPROP_XDISTANCE);
        const mql::mql_long* y = integer(mql::OBJPROP_YDISTANCE);
        price = "@" + std::to_string(x ? *x : 0) + "," + std::to_string(y ? *y : 0);
    }
    return "object\t" + object.name + '\t' + date_text(time) + '\t' + text(mql::OBJPROP_TOOLTIP) + '\t' +
           (type != kTypes.end() ? type->second : "OBJ_" + std::to_string(object.type)) + '\t' + arrow +
           '\t' + colour + '\t' + anchor + '\t' + price + '\t' + text(mql::OBJPROP_TEXT) + '\n';
}

void copy_bar(const mql::Chart& from, int index, mql::Chart* to) {
    // The source is read in storage order (oldest first) whatever its direction.
    const auto at = [index](const auto& a) { return a.storage()[static_cast<std::size_t>(index)]; };
    to->time.append(at(from.time));
    to->open.append(at(from.open));
    to->high.append(at(from.high));
    to->low.append(at(from.low));
    to->close.append(at(from.close));
    to->tick_volume.append(at(from.tick_volume));
    to->volume.append(at(from.volume));
    to->spread.append(at(from.spread));
}

}  // namespace

std::pair<std::string, std::string> data_argument(const std::string& text) {
    const auto equals = text.find('=');
    if (equals != std::string::npos && equals > 0) {
        const std::string symbol = text.substr(0, equals);
        const bool name = std::all_of(symbol.begin(), symbol.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '#' || c == '-';
        });
        if (name) return {symbol, text.substr(equals + 1)};
    }
    return {"SAMPLE", text};
}

const mql::ProgramEntry* find_program(const std::string& file) {
    const std::string wanted = lower(base_name(file));
    for (const mql::ProgramEntry* entry = mql::programs; entry->file != nullptr; ++entry)
        if (lower(entry->file) == wanted) return entry;
    return nullptr;
}

bool load_bars(const std::string& path, mql::Chart* bars, std::string* error) {
    host::ChartData data;
    if (!host::load_chart_csv(path, &data, error, true)) return false;
    if (data.size() == 0) {
        *error = path + ": no bars";
        return false;
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        mql::datetime time = 0;
        if (!parse_date(data.dates[i], &time)) {
            *error = path + ": row " + std::to_string(i + 1) + ": '" + data.dates[i] +
                     "' is not a date from 1970-01-01 to 3000-12-31 (expected YYYY-MM-DD)";
            return false;
        }
        if (bars->time.size() > 0 && time <= bars->time.storage().back()) {
            *error = path + ": row " + std::to_string(i + 1) + ": dates must rise";
            return false;
        }
        // The host's float values, widened: the same numbers msxhost feeds.
        bars->time.append(time);
        bars->open.append(data.open[i]);
        bars->high.append(data.high[i]);
        bars->low.append(data.low[i]);
        bars->close.append(data.close[i]);
        // Tick volumes are whole numbers; a value past 2^62 (or not finite) is capped.
        const double volume = data.volume[i];
        const double capped = volume < 4.6e18 ? volume : 4.6e18;
        bars->tick_volume.append(capped > 0 ? static_cast<mql::mql_long>(capped + 0.5) : 0);
        // Real volume where the file has it (exchange symbols), else 0 as
        // MetaTrader gives for forex and CFDs. It is a long count: a value
        // the long cannot hold is refused, never cast (the cast would be
        // undefined, and on x86 reads as no volume at all).
        mql::mql_long real = 0;
        if (!data.real_volume.empty()) {
            const double value = data.real_volume[i];
            if (!(value >= 0 && value + 0.5 < 9223372036854775808.0)) {
                char shown[32];
                std::snprintf(shown, sizeof shown, "%g", value);
                *error = path + ": row " + std::to_string(i + 1) + ": real volume " + shown +
                         " is outside 0 to 9223372036854775807";
                return false;
            }
            real = static_cast<mql::mql_long>(value + 0.5);
        }
        bars->volume.append(real);
        bars->spread.append(0);
    }
    return true;
}

bool Imports::bind(const mql::ProgramEntry& program, const std::string& folder, std::string* error) {
    for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl) {
        mql::BoundImport bound;
        bound.library = decl->library;
        bound.name = decl->name;
        // MQL5 programs pass addresses as long: they work in any 64-bit build.
        const bool mql5 = program.dialect == mql::Dialect::mql5;
        const bool address_in_int = !mql5 && passes_address_through_int(decl->library, decl->name);
        const bool system_library = lower(decl->library) == "kernel32.dll";
        if (!kIntHoldsPointer && system_library && !mql5) {
            // MQL4's kernel32 imports take addresses in an int: refused when called.
            bound.pointer_through_int = true;
            bound_.push_back(bound);
            continue;
        }
        auto found = std::find_if(libraries_.begin(), libraries_.end(),
                                  [&](const auto& entry) { return lower(entry.first) == lower(decl->library); });
        if (found == libraries_.end()) {
            std::string reason;
            // kernel32 from the system folder only, as the terminal finds it.
            platform::DynamicLibrary library =
                system_library ? platform::DynamicLibrary::open_system(decl->library, &reason)
                               : platform::DynamicLibrary::open(folder + "/" + library_file(decl->library), &reason);
            if (!library.loaded() && system_library) {
                bound.address = kernel32_stand_in(decl->name);  // no kernel32 here
                if (bound.address != nullptr) {
                    bound_.push_back(bound);
                    continue;
                }
            }
            if (!library.loaded()) {
                *error = std::string("cannot load ") + decl->library + " (imported by " + program.file +
                         ") from " + folder + ": " + reason;
                return false;
            }
            libraries_.emplace_back(decl->library, std::move(library));
            found = libraries_.end() - 1;
        }
        bound.address = found->second.symbol(decl->name);
        if (bound.address == nullptr) {
            *error = std::string(decl->library) + " has no export " + decl->name + " (imported by " +
                     program.file + ")";
            return false;
        }
        bound.pointer_through_int = address_in_int && !kIntHoldsPointer;
        bound_.push_back(bound);
    }
    return true;
}

void Imports::declare(const mql::ProgramEntry& program) {
    for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl) {
        mql::BoundImport bound;
        bound.library = decl->library;
        bound.name = decl->name;
        bound_.push_back(bound);
    }
}

bool bind_imports(const mql::ProgramEntry& program, const std::string& folder, bool dlls_allowed,
                  Imports* imports, std::string* error) {
    if (dlls_allowed) return imports->bind(program, folder, error);
    if (program.dialect == mql::Dialect::mql5 && program.imports->library != nullptr) {
        *error = std::string(program.file) + " imports " + program.imports->library +
                 ", and DLL loading is not allowed: MetaTrader 5 does not load the program (switch on "
                 "\"Allow DLL imports\")";
        return false;
    }
    imports->declare(program);
    return true;
}

std::string address_import_reached(const mql::ProgramEntry& program) {
    if (kIntHoldsPointer || program.reached == nullptr || program.dialect == mql::Dialect::mql5) return {};
    for (const char* const* name = program.reached; *name != nullptr; ++name) {
        for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl)
            if (std::strcmp(decl->name, *name) == 0 && passes_address_through_int(decl->library, decl->name))
                return std::string(decl->name) + " of " + decl->library;
    }
    return {};
}

ChartSession::ChartSession(const mql::ProgramEntry& entry, const Imports& imports, mql::Terminal* terminal,
                           intptr_t window, const std::string& symbol, mql::Chart* shared)
    : entry_(entry), terminal_(terminal), chart_(shared != nullptr ? shared : &own_chart_) {
    if (shared == nullptr) {
        own_chart_.window = window;
        own_chart_.symbol = symbol;
    }
    context_.chart = chart_;
    context_.dialect = entry.dialect;
    context_.imports = imports.bound();
    context_.terminal = terminal;
    program_ = entry.create(context_);
}

bool ChartSession::set_input(const std::string& name, const std::string& value) {
    for (const mql::InputDecl* input = entry_.inputs; input->name != nullptr; ++input)
        if (name == input->name) return input->set(*program_, value);
    return false;
}

int ChartSession::init() { return program_->OnInit(); }

void ChartSession::calculate(const mql::Chart& all, int first, int count) {
    add_bars(all, first, count);
    tick();
}

void ChartSession::add_bars(const mql::Chart& all, int first, int count) {
    for (int i = first; i < first + count; ++i) copy_bar(all, i, chart_);
    // OnCalculate's arrays count from the newest bar in MetaTrader 4 and
    // from the oldest in MetaTrader 5, until the program says otherwise.
    const bool series = entry_.dialect == mql::Dialect::mql4;
    for (auto* prices : {&chart_->open, &chart_->high, &chart_->low, &chart_->close})
        prices->set_series(series);
    chart_->time.set_series(series);
    chart_->tick_volume.set_series(series);
    chart_->volume.set_series(series);
    chart_->spread.set_series(series);
}

void ChartSession::tick() {
    if (entry_.kind == mql::ProgramKind::expert) {
        const auto& closes = chart_->close.storage();
        program_->set_market_price(closes.empty() ? 0.0 : closes.back());
        program_->OnTick();
        platform::dispatch_pending_messages();
        return;
    }
    program_->grow_buffers(chart_->time.size());
    prev_calculated_ = program_->OnCalculate(chart_->time.size(), prev_calculated_, chart_->time, chart_->open,
                                             chart_->high, chart_->low, chart_->close, chart_->tick_volume,
                                             chart_->volume, chart_->spread);
    platform::dispatch_pending_messages();
}

void ChartSession::reload() {
    prev_calculated_ = 0;
    tick();
}

void ChartSession::timer() {
    if (program_->timer_ms() <= 0) return;
    terminal_->clock_ms += program_->timer_ms();
    program_->OnTimer();
    platform::dispatch_pending_messages();
}

void ChartSession::timer_at(std::int64_t now_ms) {
    if (program_->timer_ms() <= 0) {
        timer_due_ms_ = -1;
        return;
    }
    if (timer_due_ms_ < 0) timer_due_ms_ = now_ms;  // set since the last look: counts from now
    if (now_ms < timer_due_ms_ + program_->timer_ms()) return;
    timer_due_ms_ = now_ms;
    program_->OnTimer();
    platform::dispatch_pending_messages();
}

void ChartSession::click(const std::string& object) {
    program_->OnChartEvent(mql::CHARTEVENT_OBJECT_CLICK, 0, 0.0, mql::string(object));
    platform::dispatch_pending_messages();
}

void ChartSession::deinit(int reason) {
    program_->set_uninitialize_reason(reason);
    program_->OnDeinit(reason);
    platform::dispatch_pending_messages();
}

int ChartSession::reinit(int reason, const std::vector<std::pair<std::string, std::string>>& inputs,
                         bool new_first, const mql::Chart* switched_to, int period) {
    if (!new_first) deinit(reason);
    if (period > 0) chart_->period = period;  // a timeframe switch
    if (switched_to != nullptr) {
        // The same chart window, objects and all, now on the other symbol's bars.
        mql::Chart& chart = *chart_;
        chart.symbol = switched_to->symbol;
        for (auto* series : {&chart.open, &chart.high, &chart.low, &chart.close}) series->resize(0);
        chart.time.resize(0);
        chart.tick_volume.resize(0);
        chart.volume.resize(0);
        chart.spread.resize(0);
        add_bars(*switched_to, 0, switched_to->time.size());
    }
    std::unique_ptr<mql::Program> fresh = entry_.create(context_);
    std::swap(program_, fresh);  // the inputs go to the fresh instance
    for (const auto& [name, value] : inputs) set_input(name, value);
    const int result = init();
    prev_calculated_ = 0;
    tick();
    if (new_first) {
        // The old instance goes last, after the new one has drawn.
        std::swap(program_, fresh);
        deinit(reason);
        std::swap(program_, fresh);
    }
    return result;
}

namespace {

// The indicators Expert Advisors read through iCustom: one hidden instance
// per symbol, timeframe, indicator and inputs, with its own OnInit, imports,
// buffers and objects, recalculated when its symbol has new bars, and ended
// with the run, as the terminal keeps them.
class CustomIndicators {
public:
    CustomIndicators(std::string folder, mql::Terminal* terminal, std::ostream& err)
        : folder_(std::move(folder)), terminal_(terminal), err_(err) {}
    ~CustomIndicators() {
        for (auto& [key, hidden] : hidden_) {
            // An indicator whose start stopped the run (a critical error in its
            // OnInit) has no entry.
            if (hidden == nullptr || hidden->instance == nullptr) continue;
            try {
                hidden->instance->deinit(mql::REASON_REMOVE);
            } catch (...) {  // the run has ended; nothing to report to
            }
        }
    }

    bool buffer_value(mql::Program& caller, const std::string& symbol, int timeframe, const std::string& name,
                      const std::vector<std::string>& inputs, int mode, int shift, double* value) {
        std::string key = symbol + '\n' + std::to_string(timeframe) + '\n' + name;
        for (const std::string& input : inputs) key += '\n' + input;
        auto& hidden = hidden_[key];
        if (hidden == nullptr) hidden = start_hidden(caller, symbol, name, inputs);
        if (hidden->instance == nullptr) return false;
        int bars = 0;
        const mql::Chart* source = hidden->feed_chart(caller, &bars);
        mql::Chart& chart = hidden->instance->chart();
        if (source != nullptr && bars > chart.time.size())
            hidden->instance->calculate(*source, chart.time.size(), bars - chart.time.size());
        const auto buffers = hidden->instance->program().indicator_buffers();
        if (mode < 0 || static_cast<std::size_t>(mode) >= buffers.size() || buffers[static_cast<std::size_t>(mode)].first == nullptr)
            return false;
        const std::vector<double>& values = *buffers[static_cast<std::size_t>(mode)].first;
        if (shift < 0 || static_cast<std::size_t>(shift) >= values.size()) return false;
        *value = values[values.size() - 1 - static_cast<std::size_t>(shift)];
        return true;
    }

private:
    struct Hidden {
        Imports bound;
        std::unique_ptr<ChartSession> instance;
        std::string source_symbol;  // empty: the caller's own chart
        const mql::Chart* feed_chart(mql::Program& caller, int* bars) const {
            if (source_symbol.empty() || source_symbol == caller.chart().symbol) {
                *bars = caller.chart().time.size();
                return &caller.chart();
            }
            return caller.runner_chart(source_symbol, bars);
        }
    };

    std::unique_ptr<Hidden> start_hidden(mql::Program& caller, const std::string& symbol, const std::string& name,
                                 const std::vector<std::string>& inputs) {
        auto hidden = std::make_unique<Hidden>();
        hidden->source_symbol = symbol;
        // An indicator of the caller's own kit: BarsightVSA is .mq4 for an
        // MQL4 program and .mq5 for an MQL5 one.
        const std::string extension = caller.dialect() == mql::Dialect::mql5 ? ".mq5" : ".mq4";
        std::string file = name;
        if (lower(file).size() < 4 || lower(file).compare(file.size() - 4, 4, extension) != 0) file += extension;
        const mql::ProgramEntry* entry = find_program(file);
        std::string error;
        if (entry == nullptr || entry->kind != mql::ProgramKind::indicator) {
            err_ << "mql4run: iCustom: no indicator " << name << '\n';
            return hidden;
        }
        if (!bind_imports(*entry, folder_, terminal_->dlls_allowed, &hidden->bound, &error)) {
            err_ << "mql4run: iCustom: " << error << '\n';
            return hidden;
        }
        const std::string own = symbol.empty() ? caller.chart().symbol : symbol;
        auto session = std::make_unique<ChartSession>(*entry, hidden->bound, terminal_, caller.chart().window, own);
        for (std::size_t i = 0; i < inputs.size() && entry->inputs[i].name != nullptr; ++i) {
            if (!session->set_input(entry->inputs[i].name, inputs[i]))
                err_ << "mql4run: iCustom: " << name << " input " << entry->inputs[i].name << " does not take '"
                     << inputs[i] << "'\n";
        }
        if (session->init() != mql::INIT_SUCCEEDED) {
            err_ << "mql4run: iCustom: OnInit of " << name << " failed\n";
            session->deinit(mql::REASON_INITFAILED);
            return hidden;
        }
        hidden->instance = std::move(session);
        return hidden;
    }

    static std::string lower(std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    std::string folder_;
    mql::Terminal* terminal_;
    std::ostream& err_;
    std::map<std::string, std::unique_ptr<Hidden>> hidden_;
};

}  // namespace

int reason_by_name(const std::string& name) {
    static const char* const kNames[] = {"program", "remove", "recompile", "chartchange", "chartclose",
                                         "parameters", "account", "template", "initfailed", "close"};
    for (int reason = 0; reason < 10; ++reason)
        if (name == kNames[reason]) return reason;
    return -1;
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
    const mql::ProgramEntry* entry = find_program(options.program);
    if (entry == nullptr) {
        err << "mql4run: " << options.program << " is not a program of this runner; it holds:";
        for (const mql::ProgramEntry* e = mql::programs; e->file != nullptr; ++e) err << ' ' << e->file;
        err << '\n';
        return mql::kExitUsage;
    }
    std::string error;
    std::vector<std::unique_ptr<mql::Chart>> loaded;
    for (const auto& [symbol, path] : options.data) {
        for (const auto& other : loaded)
            if (other->symbol == symbol) {
                err << "mql4run: --data names symbol " << symbol << " twice\n";
                return mql::kExitUsage;
            }
        loaded.push_back(std::make_unique<mql::Chart>());
        loaded.back()->symbol = symbol;
        if (!load_bars(path, loaded.back().get(), &error)) {
            err << "mql4run: " << error << '\n';
            return mql::kExitUsage;
        }
    }
    if (loaded.empty()) {
        err << "mql4run: --data is needed\n";
        return mql::kExitUsage;
    }
    const mql::Chart& all = *loaded.front();
    if (options.new_bars < 0 || options.new_bars >= all.time.size()) {
        err << "mql4run: --new-bars must leave at least one bar to start with (the file has "
            << all.time.size() << ")\n";
        return mql::kExitUsage;
    }
    // With DLL calls not allowed no import is ever made: what one would pass
    // does not matter.
    const std::string reached = options.no_dlls ? std::string() : address_import_reached(*entry);
    if (!reached.empty()) {
        err << "mql4run: " << entry->file << " calls " << reached
            << ", which passes a memory address through an MQL4 int (32 bits here): run it with the "
               "32-bit mql4run.exe\n";
        return mql::kExitNotRunnable;
    }
    Imports imports;
    const std::string folder = options.libraries.empty() ? platform::own_module_directory() : options.libraries;
    if (!bind_imports(*entry, folder, !options.no_dlls, &imports, &error)) {
        err << "mql4run: " << error;
        if (!options.no_dlls) err << "; MetaTrader refuses to load the program the same way";
        err << '\n';
        return mql::kExitImport;
    }
    mql::Terminal terminal;
    terminal.log_imports = options.log_imports;
    terminal.dlls_allowed = !options.no_dlls;
    terminal.not_ready = options.not_ready;
    terminal.dpi = options.dpi;
    terminal.notifications = options.notifications;
    terminal.trade_reply = options.trade_reply;
    terminal.netting = options.netting;
    terminal.fifo = options.fifo;
    terminal.requotes = options.requotes;
    terminal.terms.digits = options.digits;
    for (const std::string& symbol : options.hidden_symbols) terminal.hidden[symbol] = true;
    terminal.start_time = all.time.storage().back();
    terminal.pump = platform::dispatch_pending_messages;
    for (const auto& chart : loaded) terminal.symbols.emplace_back(chart->symbol, chart.get());
    for (const auto& held : options.positions)
        terminal.positions.push_back(mql::Position{++terminal.orders, all.symbol, held.type, held.lots,
                                                   all.close.storage().back(), held.magic,
                                                   terminal.start_time - 86400, "held before the start"});
    CustomIndicators hidden_indicators(folder, &terminal, err);
    terminal.custom = [&hidden_indicators](mql::Program& caller, const std::string& symbol, int timeframe,
                                         const std::string& name, const std::vector<std::string>& inputs, int mode,
                                         int shift, double* value) {
        return hidden_indicators.buffer_value(caller, symbol, timeframe, name, inputs, mode, shift, value);
    };
    // The chart window (a real one in the Windows builds), destroyed by
    // this thread when the run ends.
    const platform::PlainWindow chart_window("mql4run chart");
    const intptr_t window = chart_window.handle();
    ChartSession session(*entry, imports, &terminal, window, all.symbol);
    session.chart().visible_bars = options.visible_bars;
    session.chart().period = options.period;
    if (options.white_chart) {
        session.chart().background = mql::clrWhite;
        session.chart().foreground = mql::clrBlack;
    }
    // Further copies of the program on the same chart; the first session
    // adds the bars, every copy calculates on them.
    std::vector<std::unique_ptr<ChartSession>> others;
    for (int copy = 2; copy <= options.copies; ++copy)
        others.push_back(std::make_unique<ChartSession>(*entry, imports, &terminal, window, all.symbol, &session.chart()));
    std::vector<ChartSession*> copies{&session};
    for (const auto& other : others) copies.push_back(other.get());
    for (ChartSession* copy : copies) {
        auto inputs = options.inputs;
        if (copy != &session) inputs.insert(inputs.end(), options.copy_inputs.begin(), options.copy_inputs.end());
        for (const auto& [name, value] : inputs) {
            if (!copy->set_input(name, value)) {
                err << "mql4run: " << entry->file << " has no input " << name << " that takes '" << value << "'\n";
                return mql::kExitUsage;
            }
        }
    }
    int refused = mql::kExitSuccess;
    try {
        // A template from another chart: the program runs there on the same
        // inputs, the template takes that chart's objects as they are, and they
        // come onto this chart before its program starts.
        if (!options.template_symbol.empty()) {
            const mql::Chart* from = nullptr;
            for (const auto& chart : loaded)
                if (chart->symbol == options.template_symbol) from = chart.get();
            if (from == nullptr) {
                err << "mql4run: --template " << options.template_symbol << " is no --data symbol\n";
                return mql::kExitUsage;
            }
            ChartSession origin(*entry, imports, &terminal, window, from->symbol);
            origin.chart().id = session.chart().id + 1;
            origin.chart().visible_bars = options.visible_bars;
            origin.chart().period = options.period;
            for (const auto& [name, value] : options.inputs) origin.set_input(name, value);
            if (origin.init() != mql::INIT_SUCCEEDED) {
                err << "mql4run: OnInit of " << entry->file << " failed on the template's chart\n";
                return mql::kExitRuntimeError;
            }
            origin.calculate(*from, 0, from->time.size());
            for (const mql::ChartObject& object : origin.chart().objects) session.chart().add(object);
            origin.deinit(mql::REASON_TEMPLATE);  // on its own chart: what was saved stays in the template
        }

        if (entry->kind == mql::ProgramKind::script) {
            session.calculate(all, 0, all.time.size());
            session.start();
        } else {
            for (ChartSession* copy : copies) {
                const int init = copy->init();
                if (init != mql::INIT_SUCCEEDED) {
                    err << "mql4run: OnInit of " << entry->file << " failed (" << init << ")\n";
                    copy->deinit(mql::REASON_REMOVE);
                    return mql::kExitRuntimeError;
                }
            }
            const int initial = all.time.size() - options.new_bars;
            const auto ticks = [&] {
                for (int tick = 0; tick < options.ticks; ++tick)
                    for (ChartSession* copy : copies) copy->tick();
            };
            const auto timers = [&] {
                for (ChartSession* copy : copies) copy->timer();
            };
            const auto calculate = [&](int first, int count) {
                session.add_bars(all, first, count);
                for (ChartSession* copy : copies) copy->tick();
            };
            calculate(0, initial);
            ticks();
            timers();
            for (int bar = initial; bar < all.time.size(); bar += options.arrive) {
                // The virtual clock moves on by the bars' time: K bars that
                // arrive at once (after a disconnection) come in one instant.
                const int arriving = std::min(options.arrive, all.time.size() - bar);
                terminal.clock_ms += static_cast<std::int64_t>(arriving) * session.chart().period * 60000;
                calculate(bar, arriving);
                ticks();
                timers();
            }
            // The clock runs on: each copy's timer fires at its interval.
            const std::int64_t until = terminal.clock_ms + static_cast<std::int64_t>(options.seconds) * 1000;
            for (ChartSession* copy : copies) copy->timer_at(terminal.clock_ms);
            while (terminal.clock_ms < until) {
                terminal.clock_ms += 50;
                for (ChartSession* copy : copies) copy->timer_at(terminal.clock_ms);
            }
            if (options.reload) session.reload();
            const mql::Chart* switched_to = nullptr;
            for (const auto& chart : loaded)
                if (chart->symbol == options.reinit_symbol) switched_to = chart.get();
            if (!options.reinit_symbol.empty() && switched_to == nullptr) {
                err << "mql4run: --reinit-symbol " << options.reinit_symbol << " is no --data symbol\n";
                return mql::kExitUsage;
            }
            auto fresh_inputs = options.inputs;
            fresh_inputs.insert(fresh_inputs.end(), options.reinit_inputs.begin(), options.reinit_inputs.end());
            for (const auto& [reason, new_first] : options.reinits) {
                const int again = session.reinit(reason, fresh_inputs, new_first, switched_to, options.reinit_period);
                if (again != mql::INIT_SUCCEEDED) {
                    err << "mql4run: OnInit of " << entry->file << " failed after a reinit (" << again << ")\n";
                    session.deinit(mql::REASON_INITFAILED);
                    return mql::kExitRuntimeError;
                }
            }
            // A click or a hover that cannot happen is the command line's
            // fault (2), or this build's (5): the run still ends with
            // OnDeinit, then says so in its exit code.
            for (const std::string& name : options.clicks) {
                if (session.chart().find(name) == nullptr) {
                    err << "mql4run: no object " << name << " to click\n";
                    refused = mql::kExitUsage;
                } else {
                    for (ChartSession* copy : copies) copy->click(name);  // every program on the chart hears it
                }
            }
            for (const std::string& text : options.hovers) {
                if (!platform::show_tooltip_over(window, text)) {
                    err << "mql4run: --hover needs a chart window (the Windows builds)\n";
                    if (refused == mql::kExitSuccess) refused = mql::kExitNotRunnable;
                    break;
                }
                session.timer();
            }
        }
        if (options.dump_buffers) {
            // Every value that differs from its buffer's empty value, buffer
            // by buffer, oldest bar first.
            const auto buffers = session.program().indicator_buffers();
            const std::vector<mql::datetime>& times = session.chart().time.storage();
            for (std::size_t index = 0; index < buffers.size(); ++index) {
                if (buffers[index].first == nullptr) continue;
                const std::vector<double>& values = *buffers[index].first;
                for (std::size_t bar = 0; bar < values.size() && bar < times.size(); ++bar) {
                    if (values[bar] == buffers[index].second) continue;
                    char number[64];
                    std::snprintf(number, sizeof number, "%.10g", values[bar]);
                    out << "buffer\t" << index << '\t' << date_text(times[bar]) << '\t' << number << '\n';
                }
            }
        }
        if (options.data_window) {
            if (const auto* plots = dynamic_cast<const mql::mql5::Program5*>(&session.program())) {
                // A row per plot the Data Window shows: its label, and what
                // it draws (a DRAW_NONE plot shown is an empty-looking row).
                int index = 0;
                for (const auto& plot : plots->plots()) {
                    if (plot.shown)
                        out << "data window\t" << index << '\t' << plot.label << '\t'
                            << (plot.draw_type == mql::DRAW_NONE ? "draws nothing" : "drawn") << '\n';
                    ++index;
                }
            }
        }
        // A copy removed first: the objects the others keep are printed.
        if (options.remove_copy > 0) copies[static_cast<std::size_t>(options.remove_copy - 1)]->deinit(mql::REASON_REMOVE);
        std::vector<const mql::ChartObject*> objects;
        for (const mql::ChartObject& object : session.chart().objects) objects.push_back(&object);
        const auto time_of = [](const mql::ChartObject* object) {
            auto it = object->integers.find(mql::OBJPROP_TIME);
            return it == object->integers.end() ? mql::datetime(0) : it->second;
        };
        std::stable_sort(objects.begin(), objects.end(), [&](const auto* a, const auto* b) {
            return time_of(a) != time_of(b) ? time_of(a) < time_of(b) : a->name < b->name;
        });
        for (const mql::ChartObject* object : objects) out << object_line(*object, time_of(object));
        for (std::size_t copy = 0; copy < copies.size(); ++copy)
            if (static_cast<int>(copy) + 1 != options.remove_copy) copies[copy]->deinit(mql::REASON_REMOVE);
        if (options.count_calls)
            for (const auto& [name, count] : terminal.calls) err << "calls\t" << name << '\t' << count << '\n';
        for (const mql::Position& open : terminal.positions)
            err << "position: #" << open.ticket << ' ' << (open.type == 0 ? "buy " : "sell ") << open.symbol << ' '
                << open.volume << " magic " << open.magic << '\n';
        out << "deinit\t" << session.chart().objects.size() << '\n';
    } catch (const mql::RunStop& stop) {
        err << "mql4run: " << entry->file << ": " << stop.message << '\n';
        return stop.exit_code;
    } catch (const std::exception& failure) {  // out of memory and the like: the program stops
        err << "mql4run: " << entry->file << ": critical error: " << failure.what() << '\n';
        return mql::kExitRuntimeError;
    }
    return refused;
}


}  // namespace mql4run
