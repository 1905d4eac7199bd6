// Call-window-procedure hooks that watch for tooltips being shown.
//
// One hook per hooked thread, for the whole process: when a tooltip control
// of that thread notifies its owner that a tip is about to appear
// (WM_NOTIFY with TTN_SHOW, hook codes 0 and 3 only), the hook calls the
// process-wide callback on that thread, then passes the call on
// (CallNextHookEx) in every case. On posix a stand-in window system plays the
// part of user32 (see standin/window_system.h).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using TooltipShown = void (*)(uint32_t thread, intptr_t id_from, intptr_t tooltip);

// Hooks `thread` (a thread of this process). False when the hook cannot be
// installed (thread 0, another process's thread).
bool install_tooltip_hook(uint32_t thread, TooltipShown callback);
// Removes the hook of `thread`. False when unhooking fails.
bool remove_tooltip_hook(uint32_t thread);

#if defined(_WIN32)
// Tests: calls the hook procedure as the system would, with a hook code of
// the test's choosing; `message` points at a CWPSTRUCT.
intptr_t call_tooltip_hook_for_testing(int code, uintptr_t wparam, const void* message);
#endif

// Hook procedure calls running at this moment, on any thread.
int hook_calls_in_flight();

// The thread that created the window; 0 for an invalid window.
uint32_t window_thread(intptr_t window);
// The window's text, at most capacity - 1 characters; empty when it cannot
// be read.
std::u16string window_text(intptr_t window, int capacity);

// Dispatches the messages already waiting for the calling thread; a quit
// request met there is posted again, never swallowed.
void pump_waiting_messages();

}  // namespace platform
