// Help page addresses of the indicator help window.
#pragma once

#include <string>

namespace barsight {

// The help site's base address.
inline constexpr char kHelpBase[] = "https://help.barsight.app/";

// base + "plugin/Inds1/none.htm": shown first, and when no indicator page applies.
std::string default_help_page();

// The page for ShowDialog's text: without ";" the whole text names the page;
// with ";" only the second field counts (between the first and second ";",
// or everything after a single ";"), and only when it contains "SOS" or
// "SOW"; otherwise the default page. Names are taken verbatim.
std::string help_page_for(const std::string& text);

}  // namespace barsight
