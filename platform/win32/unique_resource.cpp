#include "platform/win32/unique_resource.h"

#include <atomic>

namespace platform::win32 {

namespace {
std::atomic<int> live[static_cast<int>(Resource::kCount)];
}

int live_resources(Resource kind) noexcept { return live[static_cast<int>(kind)].load(); }

void count_resource(Resource kind, int delta) noexcept { live[static_cast<int>(kind)] += delta; }

}  // namespace platform::win32
