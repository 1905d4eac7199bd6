// Indicator buffers, and the indicators a program reads (iCustom).
#include "tools/mql4run/program.h"

#include <algorithm>

namespace mql {

// ---- indicator buffers -----------------------------------------------------------
bool Program::SetIndexBuffer(int index, array<double>& buffer, ENUM_INDEXBUFFER_TYPE) {
    // The terminal binds only the buffers the program declared
    // (indicator_buffers, or MQL4's IndicatorBuffers); past them the call
    // fails and the index stays unbound.
    const int declared = std::max(declared_buffers(), extra_buffers_);
    if (index < 0 || index >= declared) {
        last_error_ = context_.dialect == Dialect::mql4 ? 4051 : 4002;  // invalid parameter
        print_line("SetIndexBuffer(" + std::to_string(index) + "): the indicator declares " +
                   std::to_string(declared) + " buffers (#property indicator_buffers)");
        return false;
    }
    if (buffers_.size() <= static_cast<std::size_t>(index))
        buffers_.resize(static_cast<std::size_t>(index) + 1);
    Buffer& bound = buffers_[static_cast<std::size_t>(index)];
    bound.values = &buffer;
    if (context_.dialect == Dialect::mql4) {
        buffer.set_series(true);
    } else {
        bound.empty = kEmptyValue5;
    }
    grow_buffers(chart().time.size());
    return true;
}

std::vector<std::pair<const std::vector<double>*, double>> Program::indicator_buffers() const {
    std::vector<std::pair<const std::vector<double>*, double>> out;
    for (const Buffer& buffer : buffers_)
        out.emplace_back(buffer.values != nullptr ? &buffer.values->storage() : nullptr, buffer.empty);
    return out;
}

bool Program::set_buffer_count(int count) {
    if (count < declared_buffers() || count > 512) return false;
    extra_buffers_ = count;
    return true;
}

void Program::set_empty_value(int index, double value) {
    if (index >= 0 && static_cast<std::size_t>(index) < buffers_.size())
        buffers_[static_cast<std::size_t>(index)].empty = value;
}

void Program::grow_buffers(int bars) {
    for (Buffer& buffer : buffers_) {
        if (buffer.values == nullptr) continue;
        auto& storage = buffer.values->storage();
        storage.resize(static_cast<std::size_t>(bars < 0 ? 0 : bars), buffer.empty);
    }
}

bool Program::custom_value(const std::string& symbol, int minutes, const std::string& name,
                           const std::vector<std::string>& inputs, int mode, int shift, double* value) {
    return terminal().custom && terminal().custom(*this, symbol, minutes, name, inputs, mode, shift, value);
}

}  // namespace mql
