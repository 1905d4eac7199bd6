// scope_exit: runs a clean-up when the scope it guards ends, by return or by
// exception, unless release() was called (the work it undoes was handed
// on). As WIL's wil::scope_exit; the clean-up must not throw.
#pragma once

#include <utility>

namespace platform {

template <class Cleanup>
class [[nodiscard]] scope_exit_guard {
public:
    explicit scope_exit_guard(Cleanup cleanup) noexcept : cleanup_(std::move(cleanup)) {}
    ~scope_exit_guard() {
        if (active_) cleanup_();
    }
    scope_exit_guard(const scope_exit_guard&) = delete;
    scope_exit_guard& operator=(const scope_exit_guard&) = delete;
    // The clean-up will not run.
    void release() noexcept { active_ = false; }

private:
    Cleanup cleanup_;
    bool active_ = true;
};

template <class Cleanup>
scope_exit_guard<Cleanup> scope_exit(Cleanup cleanup) noexcept {
    return scope_exit_guard<Cleanup>(std::move(cleanup));
}

}  // namespace platform
