// The per-handle table of per-bar values the trading client stores and reads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace barsight {

// The two values kept for one bar; a new cell holds 0 and 0.
struct tsDataItem {
    int32_t vsaValue = 0;
    int32_t confValue = 0;
};

// Handle -> bar table, bar table: bar number -> cell. Tables and cells only
// accumulate; the destructor releases them all and reports it on the
// debugger output. Calls may come from several threads at once (the
// terminal's charts and Expert Advisors run in threads of their own): one
// lock serialises them.
class tsDataTable {
public:
    tsDataTable();
    ~tsDataTable();
    tsDataTable(const tsDataTable&) = delete;
    tsDataTable& operator=(const tsDataTable&) = delete;

    // Adds an empty bar table for the handle if it has none; any handle,
    // 0 and negatives included. Always 0.
    int32_t CreateTable(int32_t handle);
    // Store one value of a bar; handles of 0 or below store nothing. Always 0.
    int32_t AddVSAValue(int32_t handle, int32_t barnumber, int32_t value);
    int32_t AddConfValue(int32_t handle, int32_t barnumber, int32_t value);
    // The stored value, or 0 for anything missing. Never inserts.
    int32_t GetVSAValue(int32_t handle, int32_t barnumber) const;
    int32_t GetConfValue(int32_t handle, int32_t barnumber) const;

    std::size_t handle_count() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return handles_.size();
    }

private:
    using BarTable = std::map<int32_t, tsDataItem>;
    // Stores `value` in `field` of the bar's cell, the handle's table made
    // first (with `missing_message` logged) when there is none. Always 0.
    int32_t set_field(int32_t tsDataItem::*field, int32_t handle, int32_t barnumber, int32_t value,
                      const char* missing_message);
    // `field` of the bar's cell, 0 when there is none.
    int32_t get_field(int32_t tsDataItem::*field, int32_t handle, int32_t barnumber) const;
    const tsDataItem* find(int32_t handle, int32_t barnumber) const;

    mutable std::mutex mutex_;
    std::map<int32_t, std::unique_ptr<BarTable>> handles_;  // guarded by mutex_
};

// The process-wide table, constructed before any export is served.
extern tsDataTable dttsDataTable;

namespace services {

// Hands out 1, 2, 3, ... (wrapping after the largest int32).
int32_t next_table_id() noexcept;
// Shows `mes` (null: the empty text) in a modal box captioned
// "Barsight VSA Message".
void message_box(const char* mes) noexcept;

}  // namespace services

}  // namespace barsight
