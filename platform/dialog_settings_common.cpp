#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/dialog_settings.h"

namespace platform {

bool parse_setting_int(const std::string& text, int32_t* value) {
    const char* p = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    if (*end != '\0') return false;
    *value = static_cast<int32_t>(v);
    return true;
}

}  // namespace platform
