#include "helpwindow/hook_manager.h"
#include "platform/scope_exit.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <exception>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/window_hooks.h"
#include "services/globals.h"

namespace barsight {

namespace {

// Positive handles for live managers; none for a handle never issued or
// released. Handles count up and wrap past the largest int32, skipping live
// ones.
class HandleTable {
public:
    int32_t add(const std::shared_ptr<ManagedHookManager>& manager) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int64_t tries = 0; tries < INT32_MAX; ++tries) {
            if (next_ < 1) next_ = 1;
            const int32_t handle = next_;
            next_ = handle == INT32_MAX ? 1 : handle + 1;
            if (managers_.emplace(handle, manager).second) return handle;
        }
        return 0;
    }
    std::shared_ptr<ManagedHookManager> find(int32_t handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = managers_.find(handle);
        return it == managers_.end() ? nullptr : it->second;
    }
    void remove(int32_t handle) {
        std::shared_ptr<ManagedHookManager> released;  // freed outside the lock
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = managers_.find(handle);
        if (it == managers_.end()) return;
        released = std::move(it->second);
        managers_.erase(it);
    }

private:
    std::mutex mutex_;
    std::map<int32_t, std::shared_ptr<ManagedHookManager>> managers_;
    int32_t next_ = 1;
};

// Destroyed when the library unloads, which a hook keeps from happening
// while it is installed (see ThreadHooks).
HandleTable& handle_table() {
    static HandleTable table;
    return table;
}

// The managers hooked on each thread. One system hook serves all managers
// of a thread; each gets its own copy of every event. A manager leaves this
// table before it is released, so a hook call (even of a hook that could not
// be removed) never reaches a released manager.
class ThreadHooks {
public:
    bool add(const std::shared_ptr<ManagedHookManager>& manager) {
        platform::DynamicLibrary released;  // dropped after the lock
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto& list = threads_[manager->thread()];
            if (list.empty()) {
                // The hook procedure is our code, called by the system: while
                // a hook is installed, the library holds a reference on itself.
                if (!library_reference_.loaded())
                    library_reference_ = platform::DynamicLibrary::own_module();
                if (!platform::install_tooltip_hook(manager->thread(), &on_tooltip)) {
                    threads_.erase(manager->thread());
                    released = take_reference_if_unhooked();
                    return false;
                }
            }
            list.push_back(manager);
        }
        return true;
    }
    bool remove(const ManagedHookManager* manager) {
        platform::DynamicLibrary released;  // dropped after the lock
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = threads_.find(manager->thread());
            if (it == threads_.end()) return false;
            auto& list = it->second;
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [&](const auto& m) { return m.get() == manager; }),
                       list.end());
            if (!list.empty()) return true;
            threads_.erase(it);
            if (!platform::remove_tooltip_hook(manager->thread())) {
                // The system may still call the hook: the library stays
                // loaded for good.
                unhook_failed_ = true;
                library_reference_.keep_loaded();
                return false;
            }
            released = take_reference_if_unhooked();
        }
        drop_when_no_hook_call_runs(std::move(released));
        return true;
    }
    // Runs only when the library unloads, which the reference prevents while
    // a hook is installed, or at process exit: never free the library from
    // inside its own unload.
    ~ThreadHooks() { library_reference_.keep_loaded(); }
    ThreadHooks() = default;
    ThreadHooks(const ThreadHooks&) = delete;
    ThreadHooks& operator=(const ThreadHooks&) = delete;

    std::vector<std::shared_ptr<ManagedHookManager>> on_thread(uint32_t thread) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = threads_.find(thread);
        return it == threads_.end() ? std::vector<std::shared_ptr<ManagedHookManager>>{}
                                    : it->second;
    }

private:
    static void on_tooltip(uint32_t thread, intptr_t id_from, intptr_t tooltip);

    // With no hook left (and none that failed to come off), the library's
    // reference on itself is handed out to be dropped (mutex_ held).
    platform::DynamicLibrary take_reference_if_unhooked() {
        if (!threads_.empty() || unhook_failed_) return platform::DynamicLibrary();
        return std::move(library_reference_);
    }
    // A hook call still running on another thread finishes first; one that
    // does not finish in time keeps the library loaded for good. The count
    // cannot see the first and last instructions of a call (the system may
    // still enter the procedure just after unhooking), hence a grace period
    // with no call counted before the reference goes.
    static void drop_when_no_hook_call_runs(platform::DynamicLibrary reference) {
        if (!reference.loaded()) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int quiet_checks = 0; quiet_checks < 20;) {
            if (std::chrono::steady_clock::now() > deadline) {
                reference.keep_loaded();
                return;
            }
            quiet_checks = platform::hook_calls_in_flight() > 0 ? 0 : quiet_checks + 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::mutex mutex_;
    std::map<uint32_t, std::vector<std::shared_ptr<ManagedHookManager>>> threads_;
    platform::DynamicLibrary library_reference_;  // held while any hook is installed
    bool unhook_failed_ = false;
};

// Destroyed when the library unloads, which the reference it holds while a
// hook is installed keeps from happening too early.
ThreadHooks& thread_hooks() {
    static ThreadHooks hooks;
    return hooks;
}

// The hook procedure's work for WM_NOTIFY/TTN_SHOW, on the window's thread.
void ThreadHooks::on_tooltip(uint32_t thread, intptr_t id_from, intptr_t tooltip) {
    try {
        Globals::DebugMessage("ToolTipHook) WM_NOTIFY -> TTN_SHOW");
        Globals::DebugMessage("Before GetWindowText");
        const EventQueueData event(id_from, kTooltipShow, 0, 0, capture_time(),
                                   platform::window_text(tooltip, kTooltipTextCapacity));
        Globals::DebugMessage("After Queue Event Data");
        for (const auto& manager : thread_hooks().on_thread(thread)) manager->append(event);
    } catch (...) {
        // Nothing may leave a hook procedure into the host's window procedure.
    }
}

const char kEmptyText[] = "";

}  // namespace

void EventQueue::append(EventQueueData event) {
    std::lock_guard<std::mutex> lock(mutex_);  // the hook side waits
    events_.push_back(std::move(event));
}

bool EventQueue::try_take(EventQueueData* event) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);  // the client never waits
    if (!lock.owns_lock() || events_.empty()) return false;
    *event = std::move(events_.front());
    events_.pop_front();
    return true;
}

int32_t capture_time() {
    constexpr int64_t kTicksFrom0001To1970 = 621355968000000000LL;
    const uint64_t ticks = static_cast<uint64_t>(platform::utc_now_ticks() + kTicksFrom0001To1970);
    return static_cast<int32_t>(static_cast<uint32_t>(ticks & 0xFFFFFFFFu));
}

ManagedHookManager::ManagedHookManager(intptr_t hwnd) : _hwnd(hwnd) {
    _pid = platform::window_thread(hwnd);
}

std::shared_ptr<ManagedHookManager> ManagedHookManager::create(intptr_t hwnd) {
    Globals::DebugMessage("Managed Hook Manager Constructor, HWND = " + std::to_string(hwnd));
    auto manager = std::make_shared<ManagedHookManager>(hwnd);
    manager->_handle = handle_table().add(manager);
    Globals::DebugMessage("Managed Hook Manager Constructor: Created Handles = " + std::to_string(manager->_handle));
    Globals::DebugMessage("Managed Hook Manager Constructor: Created Hook Ptr = " + std::to_string(manager->_pid));
    return manager;
}

std::shared_ptr<ManagedHookManager> ManagedHookManager::GetByRef(int32_t ref) {
    return handle_table().find(ref);
}

int32_t ManagedHookManager::InstallHooks() {
    Globals::DebugMessage("Managed Hook Manager: Install Hooks - START");
    const auto self = GetByRef(_handle);
    if (!self || self.get() != this || !thread_hooks().add(self)) {
        Globals::DebugMessage("Managed Hook Manager: Install Hooks - Tool Tip Hook Failed");
        return -2;
    }
    hooked_ = true;
    Globals::DebugMessage("Managed Hook Manager: Install Hooks - SUCCESS");
    return 0;
}

int32_t ManagedHookManager::UninstallHooks() {
    Globals::DebugMessage("Managed Hook Manager: Uninstall Hooks - START");
    const bool removed = hooked_ && thread_hooks().remove(this);
    hooked_ = false;
    if (!removed) {
        Globals::DebugMessage("Managed Hook Manager: Unhook Tool Tip Failed");
        return -2;
    }
    Globals::DebugMessage("Managed Hook Manager: Uninstall Hooks - SUCCESS");
    return 0;
}

void ManagedHookManager::append(const EventQueueData& event) {
    if (!_disposed.load()) _queue.append(event);
}

void ManagedHookManager::Dispose() {
    Globals::DebugMessage(std::string("Managed Hook Manager Managed Destructor, Dispose = ") +
           (_disposed.load() ? "True" : "False"));
    if (!_disposed.load()) {
        if (hooked_) {  // never left reachable from a hook
            thread_hooks().remove(this);
            hooked_ = false;
        }
        handle_table().remove(_handle);
        _handle = 0;
        _pid = 0;
    }
    _disposed.store(true);
}

namespace hooks {

int32_t subclass_window(int32_t hWnd, int32_t* res) {
    if (res != nullptr) *res = -1;
    const std::shared_ptr<ManagedHookManager> manager = ManagedHookManager::create(window_from_client(hWnd));
    const int32_t handle = manager->GetUnManagedRef();
    if (handle < 1) return -2;
    // Until the handle is handed out, any way out (a refusal, a throw)
    // releases it.
    auto release = platform::scope_exit([&manager]() noexcept {
        try {
            manager->Dispose();
        } catch (...) {  // nothing more can be done: the handle stays taken
        }
    });
    if (manager->InstallHooks() < 0) return -3;
    release.release();
    if (res != nullptr) *res = handle;
    return handle;
}

// A failure half-way answers 0 (the export's row), as for a handle it
// released: the registration is gone or going.
int32_t unsubclass_window(int32_t handle) {
    const std::shared_ptr<ManagedHookManager> manager = ManagedHookManager::GetByRef(handle);
    if (!manager) return -1;
    manager->UninstallHooks();
    manager->Dispose();
    platform::pump_waiting_messages();
    return 0;
}

void kill_subclassing() noexcept {}

namespace {

void put(int32_t* out, int32_t value) noexcept {
    if (out != nullptr) *out = value;
}

}  // namespace

int32_t no_event(int32_t /*handle*/, int32_t* EventType, int32_t* Param1, int32_t* Param2, int32_t* Param3,
                 int32_t* EventLocalTime, MqlStr* desc) noexcept {
    put(EventType, 0);
    put(Param1, 0);
    put(Param2, 0);
    put(Param3, 0);
    put(EventLocalTime, 0);
    if (desc != nullptr) {
        desc->length = 0;
        desc->text = const_cast<char*>(kEmptyText);
    }
    return 0;
}

int32_t get_from_queue(int32_t handle, int32_t* EventType, int32_t* Param1, int32_t* Param2,
                       int32_t* Param3, int32_t* EventLocalTime, MqlStr* desc) {
    const std::shared_ptr<ManagedHookManager> manager = ManagedHookManager::GetByRef(handle);
    if (!manager) return -1;
    EventQueueData event;
    if (!manager->TryDequeue(&event))
        return no_event(handle, EventType, Param1, Param2, Param3, EventLocalTime, desc);
    put(EventType, event.EventType);
    put(Param1, 0);
    put(Param2, 0);
    put(Param3, 0);
    put(EventLocalTime, 0);
    if (event.mes.size() <= 1) return -1;  // too short a text: the event is dropped
    const char* text = Globals::convertString(event.mes.c_str());
    if (desc != nullptr) {
        // The length is that of the text delivered: a text the conversion
        // empties arrives as an empty text of length 0.
        desc->length = static_cast<int32_t>(std::char_traits<char>::length(text));
        desc->text = const_cast<char*>(text);
    }
    return 1;
}

}  // namespace hooks

}  // namespace barsight
