#include "helpwindow/help_page.h"

namespace barsight {

namespace {
const std::string kPages = std::string(kHelpBase) + "plugin/Inds1/";
}

std::string default_help_page() { return kPages + "none.htm"; }

std::string help_page_for(const std::string& text) {
    const std::size_t first = text.find(';');
    if (first == std::string::npos) return kPages + text + ".htm";
    const std::size_t second = text.find(';', first + 1);
    const std::string field = text.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (field.find("SOS") != std::string::npos || field.find("SOW") != std::string::npos)
        return kPages + field + ".htm";
    return default_help_page();
}

}  // namespace barsight
