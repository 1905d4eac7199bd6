// The run's report (report.h): the lines the checks read, as the runner
// prints them.
#include "tools/mql4run/report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tools/mql4run/mql5.h"

namespace mql4run {

namespace {

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

}  // namespace

void print_buffers(const mql::Program& program, const mql::Chart& chart, std::ostream& out) {
    const auto buffers = program.indicator_buffers();
    const std::vector<mql::datetime>& times = chart.time.storage();
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

void print_data_window(const mql::Program& program, std::ostream& out) {
    const auto* plots = dynamic_cast<const mql::mql5::Program5*>(&program);
    if (plots == nullptr) return;
    // A DRAW_NONE plot shown is an empty-looking row.
    int index = 0;
    for (const auto& plot : plots->plots()) {
        if (plot.shown)
            out << "data window\t" << index << '\t' << plot.label << '\t'
                << (plot.draw_type == mql::DRAW_NONE ? "draws nothing" : "drawn") << '\n';
        ++index;
    }
}

void print_objects(const mql::Chart& chart, std::ostream& out) {
    std::vector<const mql::ChartObject*> objects;
    for (const mql::ChartObject& object : chart.objects) objects.push_back(&object);
    const auto time_of = [](const mql::ChartObject* object) {
        auto it = object->integers.find(mql::OBJPROP_TIME);
        return it == object->integers.end() ? mql::datetime(0) : it->second;
    };
    std::stable_sort(objects.begin(), objects.end(), [&](const auto* a, const auto* b) {
        return time_of(a) != time_of(b) ? time_of(a) < time_of(b) : a->name < b->name;
    });
    for (const mql::ChartObject* object : objects) out << object_line(*object, time_of(object));
}

void print_calls(const mql::Terminal& terminal, std::ostream& err) {
    for (const auto& [name, count] : terminal.calls) err << "calls\t" << name << '\t' << count << '\n';
}

void print_positions(const mql::Terminal& terminal, std::ostream& err) {
    for (const mql::Position& open : terminal.positions)
        err << "position: #" << open.ticket << ' ' << (open.type == 0 ? "buy " : "sell ") << open.symbol << ' '
            << open.volume << " magic " << open.magic << '\n';
}

}  // namespace mql4run
