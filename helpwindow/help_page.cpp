#include "helpwindow/help_page.h"

#include "platform/dialog_settings.h"
#include "platform/dynamic_library.h"

namespace barsight {

namespace {

constexpr std::size_t kMaxPageName = 64;

std::string pages(const std::string& base) { return base + "plugin/Inds1/"; }

}  // namespace

std::string resolve_help_base(const std::string& config_path, const std::string& module_directory) {
    std::string key, error;
    if (!config_path.empty() && platform::read_app_setting(config_path, "HelpBase", &key, &error) &&
        !key.empty())
        return key.back() == '/' ? key : key + "/";
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
    if (name.size() > kMaxPageName) return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
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
    if (!is_safe_page_name(name)) return default_help_page(base);
    return pages(base) + name + ".htm";
}

}  // namespace barsight
