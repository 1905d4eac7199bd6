#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "platform/debug_output.h"
#include "platform/window_hooks.h"
#include "standin/window_system.h"

namespace platform {

namespace {

struct Window {
    uint32_t thread;
    std::string text;
};

std::mutex mutex;
std::map<intptr_t, Window> windows;  // guarded by mutex
std::map<uint32_t, int> hooks;       // thread -> installed hooks, guarded by mutex
std::atomic<TooltipShown> callback{nullptr};
std::atomic<uint32_t> next_thread{1};
std::atomic<intptr_t> next_window{0x10000};

std::atomic<int> in_flight{0};

// Each thread's message queue, by stand-in thread. Not thread_local: a
// thread_local with a destructor would keep the library from unloading.
struct ThreadQueue {
    std::deque<std::pair<uint32_t, uintptr_t>> messages;
    int dispatched = 0;
};
std::mutex queues_mutex;
std::map<uint32_t, ThreadQueue> queues;  // guarded by queues_mutex
thread_local uint32_t thread_id = 0;

}  // namespace

namespace fake {

uint32_t current_thread() {
    if (thread_id == 0) thread_id = next_thread++;
    return thread_id;
}

intptr_t create_window(const std::string& text) {
    const intptr_t handle = next_window += 0x10;
    std::lock_guard<std::mutex> lock(mutex);
    windows[handle] = {current_thread(), text};
    return handle;
}

void destroy_window(intptr_t window) {
    std::lock_guard<std::mutex> lock(mutex);
    windows.erase(window);
}

void set_window_text(intptr_t window, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = windows.find(window);
    if (it != windows.end()) it->second.text = text;
}

void send_notify(intptr_t window, uint32_t message, int32_t code, intptr_t tooltip,
                 intptr_t id_from, int hook_code) {
    bool hooked = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = windows.find(window);
        if (it == windows.end() || it->second.thread != current_thread()) return;
        auto h = hooks.find(current_thread());
        hooked = h != hooks.end() && h->second > 0;
    }
    // The hook procedure's own checks, as the real one makes them.
    if (!hooked || hook_code < 0 || (hook_code != 0 && hook_code != 3)) return;
    if (message != kNotify || code != kTooltipShow) return;
    ++in_flight;
    if (TooltipShown cb = callback.load()) cb(current_thread(), id_from, tooltip);
    --in_flight;
}

void post_message(uint32_t message, uintptr_t wparam) {
    const std::lock_guard<std::mutex> lock(queues_mutex);
    queues[current_thread()].messages.emplace_back(message, wparam);
}

bool peek_message(uint32_t* message, uintptr_t* wparam) {
    const std::lock_guard<std::mutex> lock(queues_mutex);
    auto it = queues.find(current_thread());
    if (it == queues.end() || it->second.messages.empty()) return false;
    *message = it->second.messages.front().first;
    *wparam = it->second.messages.front().second;
    it->second.messages.pop_front();
    return true;
}

int dispatched_count() {
    const std::lock_guard<std::mutex> lock(queues_mutex);
    auto it = queues.find(current_thread());
    return it == queues.end() ? 0 : it->second.dispatched;
}

}  // namespace fake

int hook_calls_in_flight() { return in_flight.load(); }

bool install_tooltip_hook(uint32_t thread, TooltipShown cb) {
    if (thread == 0) return false;
    callback.store(cb);
    std::lock_guard<std::mutex> lock(mutex);
    ++hooks[thread];
    return true;
}

bool remove_tooltip_hook(uint32_t thread) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = hooks.find(thread);
    if (it == hooks.end() || it->second == 0) return false;
    if (--it->second == 0) hooks.erase(it);
    return true;
}

uint32_t window_thread(intptr_t window) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = windows.find(window);
    return it == windows.end() ? 0 : it->second.thread;
}

std::u16string window_text(intptr_t window, int capacity) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = windows.find(window);
        if (it == windows.end()) return {};
        text = it->second.text;
    }
    std::u16string wide = utf16_from_utf8(text);
    if (capacity < 1) return {};
    if (wide.size() > static_cast<std::size_t>(capacity - 1)) wide.resize(static_cast<std::size_t>(capacity - 1));
    return wide;
}

void pump_waiting_messages() {
    uint32_t message = 0;
    uintptr_t wparam = 0;
    bool quit = false;
    uintptr_t quit_code = 0;
    while (fake::peek_message(&message, &wparam)) {
        if (message == fake::kQuit) {
            quit = true;
            quit_code = wparam;
            continue;
        }
        const std::lock_guard<std::mutex> lock(queues_mutex);
        ++queues[fake::current_thread()].dispatched;
    }
    if (quit) fake::post_message(fake::kQuit, quit_code);
}

}  // namespace platform
