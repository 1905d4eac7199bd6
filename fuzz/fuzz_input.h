// Reading a fuzzer's bytes as the values a host or client would pass.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace fuzzing {

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ >= end_; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

    template <class T>
    T take() {
        T value{};
        const std::size_t n = std::min(sizeof(T), left());
        std::memcpy(&value, p_, n);
        p_ += n;
        return value;
    }
    uint8_t byte() { return take<uint8_t>(); }
    int32_t int32() { return take<int32_t>(); }
    float float32() { return take<float>(); }
    double float64() { return take<double>(); }
    // A value 0..limit-1.
    uint32_t below(uint32_t limit) { return limit == 0 ? 0 : take<uint16_t>() % limit; }
    // Text up to a NUL byte (or `max` bytes).
    std::string text(std::size_t max = 512) {
        std::string out;
        while (!empty() && out.size() < max) {
            const char c = static_cast<char>(*p_++);
            if (c == '\0') break;
            out += c;
        }
        return out;
    }
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(p_), left());
        p_ = end_;
        return out;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

}  // namespace fuzzing
