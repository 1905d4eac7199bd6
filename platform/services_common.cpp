// The replaceable parts of the small platform services, shared by both sides.
#include <atomic>

#include <stdexcept>

#include "platform/clock.h"
#include "platform/help_window.h"
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

namespace {
std::atomic<int> construction_fault{0};  // steps left until the fault; 0: none
std::atomic<bool> construction_fault_thrown{false};
std::atomic<int> windows_built{0}, windows_destroyed{0}, windows_destroyed_off_thread{0};
}  // namespace

void set_construction_fault_for_testing(int n) noexcept {
    construction_fault_thrown.store(false);
    construction_fault.store(n > 0 ? n : 0);
}

bool construction_fault_thrown_for_testing() noexcept { return construction_fault_thrown.load(); }

void construction_step() {
    int left = construction_fault.load();
    while (left > 0 && !construction_fault.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) {
        construction_fault_thrown.store(true);
        throw std::runtime_error("injected construction failure");
    }
}

HelpWindowCounts help_window_counts_for_testing() noexcept {
    HelpWindowCounts counts;
    counts.built = windows_built.load();
    counts.destroyed = windows_destroyed.load();
    counts.destroyed_off_owner_thread = windows_destroyed_off_thread.load();
    return counts;
}

void count_help_window(bool built, bool on_owner_thread) noexcept {
    if (built) {
        ++windows_built;
        return;
    }
    ++windows_destroyed;
    if (!on_owner_thread) ++windows_destroyed_off_thread;
}

}  // namespace platform
