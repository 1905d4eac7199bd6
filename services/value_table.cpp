#include "services/value_table.h"

#include <atomic>

#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "services/globals.h"

namespace barsight {

tsDataTable::tsDataTable() { platform::debug_output("Global Data Table Created\n"); }

tsDataTable::~tsDataTable() {
    platform::debug_output("Global Data Table Start Destructor\n");
    for (auto& entry : handles_) {
        platform::debug_output("Delete Table");
        entry.second->clear();
        entry.second.reset();
    }
    platform::debug_output("Handle Map Tables Deleted");
    handles_.clear();
    platform::debug_output("Global Data Table Destroyed\n");
}

int32_t tsDataTable::CreateTable(int32_t handle) {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) handles_.emplace(handle, std::make_unique<BarTable>());
    return 0;
}

int32_t tsDataTable::set_field(int32_t tsDataItem::*field, int32_t handle, int32_t barnumber,
                               int32_t value, const char* missing_message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (handle <= 0) return 0;
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        platform::debug_output(missing_message);
        // The table is built before it is inserted, so a failed allocation
        // leaves no entry behind.
        auto table = std::make_unique<BarTable>();
        it = handles_.emplace(handle, std::move(table)).first;
    }
    (*it->second)[barnumber].*field = value;
    return 0;
}

int32_t tsDataTable::get_field(int32_t tsDataItem::*field, int32_t handle, int32_t barnumber) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const tsDataItem* cell = find(handle, barnumber);
    return cell != nullptr ? cell->*field : 0;
}

int32_t tsDataTable::AddVSAValue(int32_t handle, int32_t barnumber, int32_t value) {
    return set_field(&tsDataItem::vsaValue, handle, barnumber, value,
                     "AddVSAValue: VSA Handle Does Not Exist: Adding It");
}

int32_t tsDataTable::AddConfValue(int32_t handle, int32_t barnumber, int32_t value) {
    return set_field(&tsDataItem::confValue, handle, barnumber, value,
                     "AddConfValue: VSA Handle Does Not Exist: Adding It");
}

const tsDataItem* tsDataTable::find(int32_t handle, int32_t barnumber) const {
    if (handle <= 0) return nullptr;
    auto it = handles_.find(handle);
    if (it == handles_.end()) return nullptr;
    auto cell = it->second->find(barnumber);
    return cell == it->second->end() ? nullptr : &cell->second;
}

int32_t tsDataTable::GetVSAValue(int32_t handle, int32_t barnumber) const {
    return get_field(&tsDataItem::vsaValue, handle, barnumber);
}

int32_t tsDataTable::GetConfValue(int32_t handle, int32_t barnumber) const {
    return get_field(&tsDataItem::confValue, handle, barnumber);
}

namespace services {

namespace {
std::atomic<int32_t> table_id{1};
}

int32_t next_table_id() noexcept {
    int32_t v = table_id.load();
    while (!table_id.compare_exchange_weak(
        v, static_cast<int32_t>(static_cast<uint32_t>(v) + 1u))) {
    }
    return v;
}

void message_box(const char* mes) noexcept {
    try {
        std::u16string text;
        if (std::optional<std::u16string> wide = Globals::convertChar(mes)) text = *wide;
        platform::show_message_box(text, u"Barsight VSA Message");
    } catch (...) {
        Globals::DebugMessage("TS_MessageBox: the message could not be shown");
    }
}

}  // namespace services

}  // namespace barsight
