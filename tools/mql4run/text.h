// Text helpers the runtime's chapters share: numbers as the runner prints
// them, UTF-8 code points, quoting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mql {

// The shortest text that reads back as the same double ("0.1", "3").
std::string number_text(double value);
// The code points of UTF-8 text (a bad byte is U+FFFD).
std::vector<std::uint32_t> code_points(const std::string& text);
std::string utf8(std::uint32_t point);
// The text in double quotes, with \ \" and controls escaped.
std::string quoted(const std::string& text);
// The text without its leading / trailing blanks (space, tab, CR, LF).
std::string trimmed_left(const std::string& text);
std::string trimmed_right(std::string text);
// The text in lower case, byte by byte (std::tolower): the runner's file
// and library names, which Windows compares without case.
std::string ascii_lower(std::string text);

}  // namespace mql
