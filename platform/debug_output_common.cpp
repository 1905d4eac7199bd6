#include <atomic>

#include "platform/debug_output.h"

namespace platform {

namespace detail {
std::atomic<DebugOutputHook> debug_hook{nullptr};
}

void set_debug_output_hook(DebugOutputHook hook) noexcept { detail::debug_hook.store(hook); }

}  // namespace platform
