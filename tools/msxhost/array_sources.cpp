// The arrays a function is called with, as the command line names them, and
// the host call of a function on a chart (array_sources.h).
#include "tools/msxhost/array_sources.h"

#include <climits>
#include <cstdint>
#include <iostream>

namespace msxhost {

bool parse_array_source(const harness::Plugin& plugin, const std::string& text, ArraySource* source) {
    source->text = text;
    if (harness::ChartData{}.column(text) != nullptr) {
        source->kind = ArraySource::Kind::kColumn;
        source->name = text;
        return true;
    }
    const std::vector<std::string> parts = harness::split(text, ':');
    if (parts[0] == "atr") {
        long long periods = 0;
        if (parts.size() != 2 || !whole_number(parts[1], 1, INT32_MAX, &periods)) {
            std::cerr << "msxhost: atr needs a whole number of periods, at least 1\n";
            return false;
        }
        source->kind = ArraySource::Kind::kAtr;
        source->periods = static_cast<int>(periods);
        return true;
    }
    const harness::FunctionInfo* fn = plugin.find(parts[0]);
    if (fn == nullptr || fn->calc == nullptr) {
        std::cerr << "msxhost: unknown array source " << text << "\n";
        return false;
    }
    source->kind = ArraySource::Kind::kFunction;
    source->name = parts[0];
    source->numbers.clear();
    for (std::size_t k = 1; k < parts.size(); ++k) {
        float v = 0;
        if (!parse_number(parts[k], &v)) {
            std::cerr << "msxhost: bad number " << parts[k] << " in " << text << "\n";
            return false;
        }
        source->numbers.push_back(v);
    }
    return true;
}

bool array_source(const harness::Plugin& plugin, const harness::ChartData& chart,
                  const std::string& text, harness::ArrayArg* arg, const std::string& where) {
    ArraySource source;
    if (!parse_array_source(plugin, text, &source)) return false;
    const int32_t last = static_cast<int32_t>(chart.size()) - 1;
    switch (source.kind) {
        case ArraySource::Kind::kColumn:
            arg->series = {*chart.column(source.name), 0, last};
            return true;
        case ArraySource::Kind::kAtr: {
            int first = 0;
            arg->series.values = harness::wilder_atr(chart, source.periods, &first);
            arg->series.first = first;
            arg->series.last = last;
            return true;
        }
        case ArraySource::Kind::kFunction: break;
    }
    harness::CallSpec call = harness::chart_spec(chart);
    call.numerics = source.numbers;
    call.numeric_count = static_cast<int32_t>(call.numerics.size());
    const harness::CallResult r = harness::call_function(plugin.find(source.name)->calc, call);
    if (r.code != 0) {
        std::cerr << "msxhost: " << where << text << " failed: " << r.message << "\n";
        return false;
    }
    arg->series = {r.values, r.first, r.last};
    return true;
}

bool chart_call(const harness::Plugin& plugin, const harness::ChartData& chart,
                const FunctionArgs& args, harness::CallSpec* call, const std::string& where) {
    *call = harness::chart_spec(chart);
    call->symbol = args.symbol.c_str();
    call->numerics = args.numerics;
    call->numeric_count = static_cast<int32_t>(args.numerics.size());
    for (const std::string& source : args.arrays) {
        harness::ArrayArg arg;
        if (!array_source(plugin, chart, source, &arg, where)) return false;
        call->arrays.push_back(std::move(arg));
    }
    call->array_count = static_cast<int32_t>(call->arrays.size());
    call->strings = args.strings;
    return true;
}

}  // namespace msxhost
