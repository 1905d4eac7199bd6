// Tooltip capture: a ManagedHookManager per registered window, its event
// queue, the handle table the client's handles name, and the exports' logic.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "services/mql_str.h"

namespace barsight {

// The Win32 hook types, valued as the WH_ constants; only kCallWndProc is used.
enum class HookType : int32_t {
    kJournalRecord = 0,
    kJournalPlayback = 1,
    kKeyboard = 2,
    kGetMessage = 3,
    kCallWndProc = 4,
    kCbt = 5,
    kSysMsgFilter = 6,
    kMouse = 7,
    kHardware = 8,
    kDebug = 9,
    kShell = 10,
    kForegroundIdle = 11,
    kCallWndProcRet = 12,
    kKeyboardLowLevel = 13,
    kMouseLowLevel = 14,
};

constexpr int32_t kTooltipShow = -521;  // TTN_SHOW
constexpr int kTooltipTextCapacity = 162;  // 161 characters and the NUL

// One captured event.
struct EventQueueData {
    EventQueueData() = default;
    EventQueueData(intptr_t hWnd, int32_t type, int32_t p1, int32_t p2, int32_t time)
        : _hWnd(hWnd), EventType(type), Param1(p1), Param2(p2), EventLocalTime(time) {}
    EventQueueData(intptr_t hWnd, int32_t type, int32_t p1, int32_t p2, int32_t time,
                   std::u16string text)
        : _hWnd(hWnd), EventType(type), Param1(p1), Param2(p2), mes(std::move(text)),
          EventLocalTime(time) {}

    intptr_t _hWnd = 0;
    int32_t EventType = 0;
    int32_t Param1 = 0;
    int32_t Param2 = 0;
    std::u16string mes;
    int32_t EventLocalTime = 0;
};

// Oldest-first queue that is its own lock: the hook waits to append, the
// client only tries to take.
class EventQueue {
public:
    void append(EventQueueData event);
    // False when the queue is empty or its lock is held at this moment.
    bool try_take(EventQueueData* event);
    // Tests: holds the queue as the hook does while it appends.
    std::unique_lock<std::mutex> hold_for_testing() { return std::unique_lock<std::mutex>(mutex_); }

private:
    std::mutex mutex_;
    std::deque<EventQueueData> events_;
};

class ManagedHookManager {
public:
    explicit ManagedHookManager(intptr_t hwnd);
    ManagedHookManager(const ManagedHookManager&) = delete;
    ManagedHookManager& operator=(const ManagedHookManager&) = delete;

    int32_t InstallHooks();
    int32_t UninstallHooks();
    bool TryDequeue(EventQueueData* data) { return _queue.try_take(data); }
    int32_t GetUnManagedRef() const { return _handle; }
    void Dispose();

    // The manager registered under `ref`, or none.
    static std::shared_ptr<ManagedHookManager> GetByRef(int32_t ref);
    // Registers a new manager and returns it (its handle may be < 1 if the
    // table is full).
    static std::shared_ptr<ManagedHookManager> create(intptr_t hwnd);

    // Called on the window's thread by the hook for a tooltip being shown.
    void append(const EventQueueData& event);
    bool disposed() const { return _disposed.load(); }
    uint32_t thread() const { return _pid; }
    intptr_t window() const { return _hwnd; }
    EventQueue& queue() { return _queue; }

private:
    int32_t _handle = 0;
    std::atomic<bool> _disposed{false};
    intptr_t _hwnd = 0;
    uint32_t _pid = 0;
    bool hooked_ = false;
    EventQueue _queue;
};

// The low 32 bits of the current time in 100-ns ticks since 0001-01-01 UTC.
int32_t capture_time();

namespace hooks {

// A window handle the client passes as a 32-bit int, as the window: sign
// extended, as Windows documents for handles shared between 32- and 64-bit
// code (a handle is 32-bit significant; 0x80000000 is 0xFFFFFFFF80000000
// in a 64-bit process, never 0x0000000080000000).
constexpr intptr_t window_from_client(int32_t hWnd) noexcept { return static_cast<intptr_t>(hWnd); }

// The bodies of the capture's exports (plugin/BarsightPlugin.exports): a
// failure they throw is reported and answered by the export's row.
int32_t subclass_window(int32_t hWnd, int32_t* res);
int32_t unsubclass_window(int32_t handle);
void kill_subclassing() noexcept;
int32_t get_from_queue(int32_t handle, int32_t* EventType, int32_t* Param1, int32_t* Param2,
                       int32_t* Param3, int32_t* EventLocalTime, MqlStr* desc);
// No event: every output 0 and the text empty, answering 0. GetFromQueue's
// answer to an empty queue and to a failure (the client polls again, and no
// stale text is handed out as if it were new).
int32_t no_event(int32_t handle, int32_t* EventType, int32_t* Param1, int32_t* Param2, int32_t* Param3,
                 int32_t* EventLocalTime, MqlStr* desc) noexcept;

}  // namespace hooks

}  // namespace barsight
