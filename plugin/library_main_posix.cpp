// The plug-in's process-wide objects and its load notifications, where the
// system sends none: a static object defined after the table writes the
// process lines, in the order the Windows library's DllMain writes them
// (objects of one file are constructed in order and destroyed in reverse):
// "Global Data Table Created\n", "VSA DLL Process Attach", ...,
// "VSA DLL Process Detach", then the table's destructor lines.
#include "platform/debug_output.h"
#include "services/value_table.h"

namespace barsight {

tsDataTable dttsDataTable;

}  // namespace barsight

namespace {

struct LoadNotifications {
    LoadNotifications() { platform::debug_output("VSA DLL Process Attach"); }
    ~LoadNotifications() { platform::debug_output("VSA DLL Process Detach"); }
};

const LoadNotifications load_notifications;

}  // namespace
