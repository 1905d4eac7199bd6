// The trading-client side with fuzzed integers, doubles and texts: signal
// filter, volume colour, the help page rule, the text conversions, the time
// text, and the value table (a fresh table per input: the process-wide one
// only grows).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "helpwindow/help_page.h"
#include "platform/clock.h"
#include "services/globals.h"
#include "services/sign_filter.h"
#include "services/value_table.h"

namespace {

int64_t g_ticks = 0;
int64_t fuzzed_clock() { return g_ticks; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using barsight::Globals;
    fuzzing::Input in(data, size);
    barsight::tsDataTable table;
    while (!in.empty()) {
        switch (in.byte() % 9) {
            case 0: {
                const int32_t code = in.int32();
                const int32_t out = barsight::sign_filter(code);
                if (out != 0 && out != code) std::abort();
                break;
            }
            case 1: {
                const int32_t cls = barsight::volume_color(in.float64(), in.float64(), in.float64(),
                                                           in.float64(), in.float64());
                if (cls < 1 || cls > 4) std::abort();
                break;
            }
            case 2: {
                const std::string page = barsight::help_page_for(barsight::kHelpBase, in.text());
                // Always a page of the help folder: no name leads out of it
                // (no separator, no drive or scheme, no leading dot).
                const std::string folder = std::string(barsight::kHelpBase) + "plugin/Inds1/";
                if (page.rfind(folder, 0) != 0) std::abort();
                const std::string rest = page.substr(folder.size());
                if (rest.find_first_of("/\\:?#") != std::string::npos ||
                    (!rest.empty() && rest[0] == '.' && rest != ".htm"))
                    std::abort();
                break;
            }
            case 3: {
                std::u16string wide;
                const std::size_t n = in.below(700);
                for (std::size_t i = 0; i < n && !in.empty(); ++i)
                    wide.push_back(in.take<char16_t>());
                const char* out = Globals::convertString(wide.c_str());
                if (std::strlen(out) > 511) std::abort();
                break;
            }
            case 4: {
                const std::string text = in.text();
                const auto wide = Globals::convertChar(text.c_str());
                if (!wide || wide->size() != text.size()) std::abort();
                barsight::services::debug_print(text.c_str());
                break;
            }
            case 5: {
                g_ticks = in.take<int64_t>();
                platform::set_clock_for_testing(&fuzzed_clock);
                const char* text = barsight::services::current_utc_text();
                if (std::strlen(text) > 25) std::abort();
                barsight::services::current_time_utc();
                platform::set_clock_for_testing(nullptr);
                break;
            }
            case 6:
                table.CreateTable(in.int32());
                break;
            case 7: {
                const int32_t handle = in.int32(), bar = in.int32(), value = in.int32();
                if (in.byte() % 2) table.AddVSAValue(handle, bar, value);
                else table.AddConfValue(handle, bar, value);
                if (handle > 0 && table.GetVSAValue(handle, bar) != value &&
                    table.GetConfValue(handle, bar) != value)
                    std::abort();
                break;
            }
            default: {
                const int32_t handle = in.int32(), bar = in.int32();
                if (handle <= 0 && (table.GetVSAValue(handle, bar) != 0 || table.GetConfValue(handle, bar) != 0))
                    std::abort();
                break;
            }
        }
    }
    return 0;
}
