// The posix stand-in for the parts of the window system the tooltip hook
// uses: windows owned by threads, a message send that runs the owning
// thread's call-window-procedure hooks, tooltip windows with text, and a
// per-thread message queue. Posix builds only.
#pragma once

#include <cstdint>
#include <string>

namespace platform::fake {

// A thread's identifier in the stand-in (never 0).
uint32_t current_thread();

// A window owned by the calling thread, with its text (UTF-8).
intptr_t create_window(const std::string& text);
void destroy_window(intptr_t window);
void set_window_text(intptr_t window, const std::string& text);

// Sends `message` (with a notification header of `code`, sender `tooltip`
// and `id_from`) to `window`: runs the hooks installed on the calling thread
// with hook code `hook_code`, as a send to a window of that thread does.
// The caller must own `window`.
void send_notify(intptr_t window, uint32_t message, int32_t code, intptr_t tooltip,
                 intptr_t id_from, int hook_code = 0);

// The calling thread's message queue.
void post_message(uint32_t message, uintptr_t wparam);
bool peek_message(uint32_t* message, uintptr_t* wparam);
// How many messages were dispatched by pump_waiting_messages on this thread.
int dispatched_count();

constexpr uint32_t kQuit = 0x0012;    // WM_QUIT
constexpr uint32_t kNotify = 0x004E;  // WM_NOTIFY
constexpr int32_t kTooltipShow = -521;  // TTN_SHOW

}  // namespace platform::fake
