// Text helpers the runtime's chapters share (text.h).
#include "tools/mql4run/text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mql {

std::string number_text(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    // The shortest form that reads back the same; a whole number below
    // 10^15 with all its digits (100, not 1e+02), as the terminal prints it.
    for (int digits = 1; digits <= 17; ++digits) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
        if (std::strtod(shorter, nullptr) != value) continue;
        const double size = std::fabs(value);
        if (std::strchr(shorter, 'e') != nullptr && size >= 1 && size < 1e15)
            std::snprintf(shorter, sizeof shorter, "%.*g", static_cast<int>(std::floor(std::log10(size))) + 1, value);
        return shorter;
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

namespace {
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::string trimmed_left(const std::string& text) {
    std::size_t from = 0;
    while (from < text.size() && blank(text[from])) ++from;
    return text.substr(from);
}

std::string trimmed_right(std::string text) {
    while (!text.empty() && blank(text.back())) text.pop_back();
    return text;
}

std::string ascii_lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace mql
