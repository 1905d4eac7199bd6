// The calling convention and the export marks of every export the host or
// the trading client calls, for the records' header and for code that calls
// or defines such exports without needing the host's records.
#pragma once

// Calling convention of every export the host or the trading client calls.
#if defined(_WIN32) && !defined(_WIN64)
#define MSX_STDCALL __stdcall
#else
#define MSX_STDCALL
#endif

// On posix builds the shared objects hide everything except the exports;
// on Windows the .def file alone decides what is exported.
#if defined(_WIN32)
#define MSX_EXPORT
#else
#define MSX_EXPORT __attribute__((visibility("default")))
#endif

#define MSX_API MSX_EXPORT MSX_STDCALL
