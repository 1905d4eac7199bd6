#include "platform/gui_thread.h"

namespace platform {

// Posix has no COM and no window system: nothing to enter or prepare.
SingleThreadedApartment::SingleThreadedApartment() = default;
SingleThreadedApartment::~SingleThreadedApartment() = default;
void prepare_gui_once() {}

}  // namespace platform
