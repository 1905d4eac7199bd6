// A modal message box with an OK button and the stop icon, no owner window.
// On posix, which has no message box, the text goes to standard error.
#pragma once

#include <string>

namespace platform {

void show_message_box(const std::u16string& text, const char16_t* caption) noexcept;

using MessageBoxHook = void (*)(const std::u16string& text, const char16_t* caption);
// Tests replace the box (null restores it).
void set_message_box_hook(MessageBoxHook hook) noexcept;

}  // namespace platform
