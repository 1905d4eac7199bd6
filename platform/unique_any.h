// The one generic owner of the platform layer: holds a value of type T that
// `Close` releases, `Invalid` meaning none is held. `Count` hears +1 when a
// value is taken and -1 when it is let go (the Windows owners count the
// resources of each kind they hold, so tests can check that none are left).
// Each kind of handle is one line naming its release (see
// platform/win32/unique_resource.h and platform/posix/unique_resource.h).
#pragma once

#include <type_traits>
#include <utility>

namespace platform {

struct not_counted {
    static void count(int) noexcept {}
};

template <class T, auto Close, T Invalid = T{}, class Count = not_counted>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(T value) noexcept { reset(value); }
    ~unique_any() { reset(); }
    unique_any(unique_any&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, Invalid);
        }
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }

    // Releases the held value (if any) and takes `value`.
    void reset(T value = Invalid) noexcept {
        if (value == value_ && value != Invalid) return;  // already held: keep it
        if (value_ != Invalid) {
            Close(value_);
            Count::count(-1);
        }
        value_ = value;
        if (value_ != Invalid) Count::count(1);
    }
    // Releases the held value now; whether its Close reported success (a
    // Close that reports nothing counts as one). False when none was held.
    bool close() noexcept {
        if (value_ == Invalid) return false;
        const T value = release();
        if constexpr (std::is_void_v<decltype(Close(value))>) {
            Close(value);
            return true;
        } else {
            return Close(value) != 0;
        }
    }
    // Gives the value up without releasing it; the caller owns it now.
    [[nodiscard]] T release() noexcept {
        if (value_ != Invalid) Count::count(-1);
        return std::exchange(value_, Invalid);
    }

private:
    T value_ = Invalid;
};

}  // namespace platform
