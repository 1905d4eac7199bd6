// Bar loading: `--data`'s SYMBOL=FILE, and a CSV file's bars as the chart
// holds them (dates that rise, tick volume, real volume where the file has
// it).
#include "tools/mql4run/runner.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "harness/chart_data.h"
#include "harness/dates.h"

namespace mql4run {

namespace {

// A bar's date as the tools read dates (host/dates.h), within what
// MetaTrader holds: 1970-01-01 to 3000-12-31.
bool parse_date(const std::string& text, mql::datetime* time) {
    constexpr int64_t kLastDay = 376564;  // 3000-12-31
    int64_t days = 0;
    if (harness::parse_day(text, &days) != harness::DayStatus::ok || days < 0 || days > kLastDay) return false;
    *time = days * 86400;
    return true;
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

bool load_bars(const std::string& path, mql::Chart* bars, std::string* error) {
    harness::ChartData data;
    if (!harness::load_chart_csv(path, &data, error, true)) return false;
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

}  // namespace mql4run
