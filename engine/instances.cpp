// Spreadcore's entry points: analysis instances under positive handles, one
// per chart being recalculated, from a table several host threads may use at
// once.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <vector>
#include <memory>
#include <mutex>

#include "engine/analyzer.h"
#include "engine/instances.h"

#include "engine/feed.h"

namespace spreadcore {

namespace {


std::atomic<bool> allocations_fail{false};

// Open instances live in a fixed set of slots, each with its own lock, so a
// bar reaches its instance with one uncontended lock and no table search.
// A handle names its slot and the slot's generation: once an instance is
// closed its handle never reaches the slot's next instance.
constexpr int32_t kSlots = 4096;  // instances open at once
constexpr int32_t kGenerations = (INT32_MAX - kSlots) / kSlots;

struct Slot {
    std::mutex mutex;
    int32_t handle = 0;  // 0: free
    int32_t generation = 0;
    std::unique_ptr<Analyzer> analyzer;
};

class InstanceTable {
public:
    InstanceTable() : slots_(new Slot[kSlots]) {
        for (int32_t i = kSlots - 1; i >= 0; --i) free_.push_back(i);
    }

    int32_t open(int32_t periods) {
        if (allocations_fail.load()) throw std::bad_alloc();
        auto analyzer = std::make_unique<Analyzer>(periods);
        int32_t index = 0;
        {
            std::lock_guard<std::mutex> lock(free_mutex_);
            if (free_.empty()) return 0;  // every slot in use: refused
            index = free_.back();
            free_.pop_back();
        }
        Slot& slot = slots_[index];
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.generation = slot.generation % kGenerations + 1;
        slot.handle = slot.generation * kSlots + index + 1;
        slot.analyzer = std::move(analyzer);
        return slot.handle;
    }

    int32_t analyse(int32_t handle, const Bar& bar, double next_close, bool revise) {
        if (handle <= 0) return kNone;
        Slot& slot = slots_[(handle - 1) % kSlots];
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.handle != handle) return kNone;
        return revise ? slot.analyzer->revise(next_close) : slot.analyzer->analyse(bar, next_close);
    }

    // The background of the instance's last bar, when the handle is open.
    bool background(int32_t handle, BackgroundView* view) {
        if (handle <= 0) return false;
        Slot& slot = slots_[(handle - 1) % kSlots];
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.handle != handle) return false;
        *view = slot.analyzer->background();
        return true;
    }

    bool close(int32_t handle) {
        if (handle <= 0) return false;
        const int32_t index = (handle - 1) % kSlots;
        Slot& slot = slots_[index];
        std::unique_ptr<Analyzer> released;
        {
            std::lock_guard<std::mutex> lock(slot.mutex);
            if (slot.handle != handle) return false;
            slot.handle = 0;
            released = std::move(slot.analyzer);
        }
        std::lock_guard<std::mutex> lock(free_mutex_);
        free_.push_back(index);
        return true;
    }

private:
    std::unique_ptr<Slot[]> slots_;
    std::mutex free_mutex_;
    std::vector<int32_t> free_;
};

// Freed when the library is unloaded: MetaTrader 4 unloads a DLL when the
// last program importing it goes, and loads it afresh for the next one.
InstanceTable& table() {
    static InstanceTable t;
    return t;
}

}  // namespace

void fail_allocations_for_testing(bool on) noexcept { allocations_fail.store(on); }

int32_t add_to_chart(const char* /*app*/, const char* /*symbol*/, int32_t periods) {
    if (periods < 1 || periods > kMaxPeriods) return 0;
    return table().open(periods);
}

int32_t analyse_position(int32_t handle, int32_t /*pos*/, double /*date*/, double /*open*/, double high,
                         double low, double close, double volume, double close_next_bar,
                         int32_t confirmanalysis) {
    return table().analyse(handle, {high, low, close, volume}, close_next_bar, confirmanalysis != 0);
}

int32_t remove_from_chart(int32_t handle) { return table().close(handle) ? 1 : 0; }

int32_t background_of(int32_t handle, double* values, int32_t count) {
    BackgroundView v;
    if (values == nullptr || count < 1 || !table().background(handle, &v)) return 0;
    const double all[kBackgroundValues] = {
        static_cast<double>(v.trend_short), static_cast<double>(v.trend_mid), static_cast<double>(v.trend_long),
        static_cast<double>(v.climax_side), static_cast<double>(v.climax_age), static_cast<double>(v.range_side),
        v.range_low, v.range_high, v.support, v.resistance};
    const int32_t written = std::min(count, kBackgroundValues);
    std::copy(all, all + written, values);
    return written;
}

int32_t analyse_whole_series(const double* high, const double* low, const double* close, const double* volume,
                             int32_t count, int32_t periods, int32_t* codes) {
    if (high == nullptr || low == nullptr || close == nullptr || volume == nullptr || codes == nullptr ||
        count < 0 || periods < 1 || periods > kMaxPeriods)
        return 0;
    analyse_series(high, low, close, volume, static_cast<std::size_t>(count), periods, codes);
    return count;
}

}  // namespace spreadcore
