#include "helpwindow/help_page.h"

#include <cctype>

#include "platform/dialog_settings.h"
#include "platform/dynamic_library.h"
#include "platform/text_codec.h"

namespace barsight {

namespace {

// Windows' longest path; a page path beyond it cannot be opened.
constexpr std::size_t kMaxPath = 260;
constexpr char kPages[] = "plugin/Inds1/";

std::string pages(const std::string& base) { return base + kPages; }

bool starts_with_nocase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() ||
            std::tolower(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

bool is_control(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// The scheme of an address ("javascript" of "javascript:alert(1)"), or
// empty when the text does not start with one. A single letter before ":"
// is a drive, not a scheme.
std::string scheme_of(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
        ++i;
    if (i < 2 || i >= text.size() || text[i] != ':' ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return {};
    return text.substr(0, i);
}

bool is_drive_path(const std::string& text) {
    return text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
           (text[2] == '\\' || text[2] == '/');
}

// Windows' reserved device names, which name a device whatever the folder
// or extension: CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (and COM/LPT with a
// superscript 1, 2 or 3, which Windows also treats as devices).
bool is_device_name(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::string upper;
    for (const char c : stem) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    if (upper.rfind("COM", 0) != 0 && upper.rfind("LPT", 0) != 0) return false;
    const std::string digit = upper.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xc2\xb9" ||
           digit == "\xc2\xb2" || digit == "\xc2\xb3";
}

// Percent-encodes (UTF-8, upper-case hex) what an address cannot carry as
// a path segment: space, "#", "?", "%", non-ASCII and the other characters
// URLs do not allow.
std::string percent_encoded(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        const bool escape = c <= 0x20 || c >= 0x7F || c == '#' || c == '?' || c == '%' || c == '"' ||
                            c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' ||
                            c == '|' || c == '}' || c == '[' || c == ']';
        if (escape) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string with_slash(const std::string& base) {
    return !base.empty() && base.back() == '/' ? base : base + "/";
}

}  // namespace

std::string checked_help_base(const std::string& value, std::string* reason) {
    std::size_t begin = 0, end = value.size();
    while (begin < end && value[begin] == ' ') ++begin;
    while (end > begin && value[end - 1] == ' ') --end;
    const std::string base = value.substr(begin, end - begin);
    auto refuse = [&](const char* why) {
        *reason = why;
        return std::string();
    };
    if (base.empty()) return refuse("it is empty");
    for (const char c : base)
        if (is_control(c)) return refuse("it holds a control character");
    if (base.find_first_of("?#") != std::string::npos)
        return refuse("it holds ? or #, which would swallow the page name");
    if (starts_with_nocase(base, "http://") || starts_with_nocase(base, "https://")) {
        const std::size_t host = base.find("//") + 2;
        if (host >= base.size() || base[host] == '/') return refuse("the address names no host");
        return with_slash(base);
    }
    if (starts_with_nocase(base, "file:")) {
        // file:///C:/... or file:///opt/...: this computer. file://host/...
        // and file:////host/... name another computer.
        if (!starts_with_nocase(base, "file:///") || base.size() == 8 || base[8] == '/' ||
            base[8] == '\\')
            return refuse("a file: address must name this computer (file:///...)");
        return with_slash(base);
    }
    const std::string scheme = scheme_of(base);
    if (!scheme.empty())
        return refuse("only http:, https: and file: addresses are allowed");
    if (base.size() >= 2 && (base[0] == '\\' || base[0] == '/') && (base[1] == '\\' || base[1] == '/'))
        return refuse("a folder on another computer is not allowed");
    if (!is_drive_path(base) && base[0] != '/')
        return refuse("a folder must be an absolute path or an http:, https: or file: address");
    const std::string url = platform::folder_file_url(base);
    if (url.empty()) return refuse("the folder cannot be made an address");
    return url;
}

std::string resolve_help_base(const std::string& config_path, const std::string& module_directory,
                              std::string* refused) {
    std::string key, error;
    if (!config_path.empty() && platform::read_app_setting(config_path, "HelpBase", &key, &error) &&
        key.find_first_not_of(' ') != std::string::npos) {
        std::string reason;
        const std::string base = checked_help_base(key, &reason);
        if (!base.empty()) return base;
        if (refused != nullptr) *refused = "HelpBase ignored: " + reason;
    }
    if (!module_directory.empty()) {
        const std::string folder = platform::join_path(module_directory, "help");
        const std::string index = platform::join_path(
            platform::join_path(platform::join_path(folder, "plugin"), "Inds1"), "none.htm");
        if (platform::is_regular_file(index)) {
            const std::string url = platform::folder_file_url(folder);
            if (!url.empty()) return url;
        }
    }
    return kHelpBase;
}

std::string default_help_page(const std::string& base) { return pages(base) + "none.htm"; }

bool is_safe_page_name(const std::string& name) {
    if (name.empty()) return true;
    if (name.find_first_of("/\\:") != std::string::npos) return false;
    for (const char c : name)
        if (is_control(c)) return false;
    if (name.front() == '.' || name.back() == '.' || name.back() == ' ') return false;
    return !is_device_name(name);
}

std::string help_page_for(const std::string& base, const std::string& text) {
    std::string name;
    const std::size_t first = text.find(';');
    if (first == std::string::npos) {
        name = text;
    } else {
        const std::size_t second = text.find(';', first + 1);
        name = text.substr(first + 1,
                           second == std::string::npos ? std::string::npos : second - first - 1);
        if (name.find("SOS") == std::string::npos && name.find("SOW") == std::string::npos)
            return default_help_page(base);
    }
    if (name.empty()) return pages(base) + ".htm";  // the empty page, as named
    if (!is_safe_page_name(name)) return default_help_page(base);
    const std::string page = kPages + name + ".htm";
    if (!starts_with_nocase(base, "file:")) {
        if (platform::utf16_from_utf8(page).size() > kMaxPath) return default_help_page(base);
        return pages(base) + percent_encoded(name) + ".htm";
    }
    // A local folder: the page's own path, which must exist and fit in
    // MAX_PATH; its address is made as the folder's was.
    const std::string folder = platform::path_from_file_url(base);
    if (folder.empty()) return default_help_page(base);
    const std::string path = platform::join_path(
        platform::join_path(platform::join_path(folder, "plugin"), "Inds1"), name + ".htm");
    if (platform::utf16_from_utf8(platform::native_path(path)).size() >= kMaxPath ||
        !platform::is_regular_file(path))
        return default_help_page(base);
    const std::string url = platform::file_url(path);
    return url.empty() ? default_help_page(base) : url;
}

}  // namespace barsight
