// Indicator buffers, and the indicators a program reads (iCustom).
#include "tools/mql4run/program.h"

namespace mql {

// ---- indicator buffers -----------------------------------------------------------
bool Program::SetIndexBuffer(int index, array<double>& buffer, ENUM_INDEXBUFFER_TYPE) {
    if (index < 0 || index > 511) return false;
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
