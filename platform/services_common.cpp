// The replaceable parts of the small platform services, shared by both sides.
#include <atomic>

#include "platform/clock.h"
#include "platform/message_box.h"

namespace platform {

namespace detail {
std::atomic<ClockFunction> clock_override{nullptr};
std::atomic<MessageBoxHook> message_box_hook{nullptr};
int64_t system_utc_ticks() noexcept;
void system_message_box(const std::u16string& text, const char16_t* caption) noexcept;
}  // namespace detail

int64_t utc_now_ticks() noexcept {
    if (ClockFunction clock = detail::clock_override.load()) return clock();
    return detail::system_utc_ticks();
}

void set_clock_for_testing(ClockFunction clock) noexcept { detail::clock_override.store(clock); }

void show_message_box(const std::u16string& text, const char16_t* caption) noexcept {
    if (MessageBoxHook hook = detail::message_box_hook.load()) {
        try {
            hook(text, caption);
        } catch (...) {
        }
        return;
    }
    detail::system_message_box(text, caption);
}

void set_message_box_hook(MessageBoxHook hook) noexcept { detail::message_box_hook.store(hook); }

}  // namespace platform
