// Help page addresses of the indicator help window.
#pragma once

#include <string>

namespace barsight {

// The help site on the web: the base address of last resort.
inline constexpr char kHelpBase[] = "https://help.barsight.app/";

// The base address of the help pages, ending in "/", resolved when the
// window is built, in this order:
// 1. the settings file's appSettings key "HelpBase", when present and not
//    empty (any address; a missing final "/" is added);
// 2. the folder "help" in `module_directory` (the plug-in's own folder), when
//    it holds plugin/Inds1/none.htm, as a file: address;
// 3. kHelpBase.
std::string resolve_help_base(const std::string& config_path, const std::string& module_directory);

// base + "plugin/Inds1/none.htm": shown first, and when no indicator page applies.
std::string default_help_page(const std::string& base);

// A page name the window may navigate to: ASCII letters, digits, "_" and
// "-" only, at most 64 characters. A name is client text: anything else (a
// "../" or a drive letter) could lead the browser out of the help folder.
bool is_safe_page_name(const std::string& name);

// The page for ShowDialog's text: without ";" the whole text names the page;
// with ";" only the second field counts (between the first and second ";",
// or everything after a single ";"), and only when it contains "SOS" or
// "SOW"; otherwise the default page. The empty text names the empty page
// (base + "plugin/Inds1/.htm"); any other name that is not safe gives the
// default page.
std::string help_page_for(const std::string& base, const std::string& text);

}  // namespace barsight
