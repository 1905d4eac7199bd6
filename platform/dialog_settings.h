// The help window's position in the library's application-configuration
// file: appSettings entries "DialogX" and "DialogY" (decimal int32 text).
// The keys are never created: a file without them is an error.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Reads DialogX then DialogY. On failure returns false with a message; the
// values read before the failure are kept (x may be set when y failed).
bool read_dialog_position(const std::string& config_path, int32_t* x, int32_t* y,
                          std::string* error);

// Overwrites both values and saves the whole file. False with a message when
// the file cannot be read, lacks a key or cannot be written.
bool write_dialog_position(const std::string& config_path, int32_t x, int32_t y,
                           std::string* error);

// Reads the value of the appSettings entry `key` (any text, UTF-8). False
// with a message when the file cannot be read or has no such entry.
bool read_app_setting(const std::string& config_path, const char* key, std::string* value,
                      std::string* error);

// Parses a decimal 32-bit integer allowing surrounding white space and a
// leading sign, as the settings values are read.
bool parse_setting_int(const std::string& text, int32_t* value);

}  // namespace platform
