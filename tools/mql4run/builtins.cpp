// The free built-ins both dialects share (builtins.h): numbers and times as
// text, strings and their conversions, maths.
#include "tools/mql4run/builtins.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "tools/mql4run/text.h"

namespace mql {

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

}  // namespace mql
