// Help page addresses of the indicator help window.
#pragma once

#include <string>

namespace barsight {

// The help site on the web: the base address of last resort.
inline constexpr char kHelpBase[] = "https://help.barsight.app/";

// The base address of the help pages, ending in "/", resolved when the
// window is built, in this order:
// 1. the settings file's appSettings key "HelpBase", when present and not
//    empty after trimming spaces, and acceptable (checked_help_base); a
//    value refused is named in `refused` ("HelpBase ignored: <reason>") and
//    the next rule applies;
// 2. the folder "help" in `module_directory` (the plug-in's own folder), when
//    it holds plugin/Inds1/none.htm, as a file: address;
// 3. kHelpBase.
std::string resolve_help_base(const std::string& config_path, const std::string& module_directory,
                              std::string* refused = nullptr);

// A HelpBase value as a base address ending in "/", or empty with the
// reason in `reason`. Accepted: http: and https: addresses with a host,
// file: addresses of this computer (file:///...), and absolute local folder
// paths (made a file: address as the help folder is). Refused: any other
// scheme (javascript:, vbscript:, data:, ...), anything naming another
// computer (\\host\share, //host, file://host/, file:////host/), control
// characters, and "?" or "#" (they would swallow the page name). Spaces
// around the value are trimmed.
std::string checked_help_base(const std::string& value, std::string* reason);

// base + "plugin/Inds1/none.htm": shown first, and when no indicator page applies.
std::string default_help_page(const std::string& base);

// Whether a page name could leave the help folder, change the address's
// meaning or name a device: "/", "\\", ":", control characters, a leading
// "." (so "." and ".." too), a trailing "." or space, and Windows' reserved
// device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension).
// Every other name, spaces, dots and non-ASCII letters included, is kept.
bool is_safe_page_name(const std::string& name);

// The page for ShowDialog's text: without ";" the whole text names the page;
// with ";" only the second field counts (between the first and second ";",
// or everything after a single ";"), and only when it contains "SOS" or
// "SOW"; otherwise the default page. The empty text names the empty page
// (base + "plugin/Inds1/.htm"). A name that is not safe, or whose page path
// is longer than MAX_PATH (260), gives the default page. For a web base what
// an address cannot carry is percent-encoded (UTF-8); for a file: base the
// address is made from the page's path, and a page whose file does not
// exist gives the default page.
std::string help_page_for(const std::string& base, const std::string& text);

}  // namespace barsight
