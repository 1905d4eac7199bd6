// The import call's side of a program (import_call.h): the import log's
// lines (how each argument is shown), and the stops for a call that cannot
// be made (a stack that does not balance, an address in an int, DLL calls
// off).
#include "tools/mql4run/import_call.h"

#include <iostream>

#include "tools/mql4run/program.h"
#include "tools/mql4run/text.h"

namespace mql {

std::string ArgF32::shown() const { return number_text(value); }
std::string ArgF64::shown() const { return number_text(value); }
std::string ArgWide::shown() const {
    std::string text;
    for (wchar_t c : *buffer) text += utf8(static_cast<std::uint32_t>(c));
    return quoted(text);
}

ArgWide arg_wstr(const string& v) {
    auto buffer = std::make_shared<std::wstring>();
    for (std::uint32_t point : code_points(v.str())) {
        if (sizeof(wchar_t) == 2 && point >= 0x10000) {
            point -= 0x10000;
            buffer->push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
            buffer->push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FF)));
        } else {
            buffer->push_back(static_cast<wchar_t>(point));
        }
    }
    return {buffer, buffer->c_str()};
}

std::string shown_bytes(const unsigned char* bytes, std::size_t size) {
    std::size_t length = 0;
    while (length < size && bytes[length] != 0) ++length;
    return quoted(std::string(reinterpret_cast<const char*>(bytes), length));
}

void Program::log_import(const BoundImport& import, const std::vector<std::string>& args,
                         const std::string& result) {
    std::string line = std::string("import: ") + import.name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + args[i];
    line += ")";
    if (!result.empty()) line += " = " + result;
    std::cerr << line << '\n';
}

void Program::stack_mismatch(const BoundImport& import, std::int32_t difference) {
    // difference = the stack pointer left - the one a callee popping every
    // argument leaves: below 0 the export popped fewer bytes than were passed.
    const std::int32_t bytes = difference < 0 ? -difference : difference;
    throw RunStop{kExitStack, std::string("stack mismatch after ") + import.library + " " +
                                  import.name + ": the export popped " + std::to_string(bytes) +
                                  (difference < 0 ? " bytes fewer" : " bytes more") +
                                  " than its MQL4 declaration passes (a wrong #import declaration)"};
}

void Program::pointer_refused(const BoundImport& import) {
    throw RunStop{kExitNotRunnable,
                  std::string(import.name) + " of " + import.library +
                      " passes a memory address through an MQL4 int, which is 32 bits here: "
                      "run this program with the 32-bit mql4run.exe"};
}

void Program::dll_calls_refused(const BoundImport& import) {
    // MetaTrader 4 with "Allow DLL imports" off: the program runs until its
    // first import call, which stops it (error 4017).
    std::cerr << "DLL calls are not allowed; '" << import.library << "'-'" << import.name << "'\n";
    throw RunStop{kExitRuntimeError, std::string("cannot call '") + import.name + "' of " + import.library +
                                         " (DLL calls are not allowed): the program is stopped"};
}

}  // namespace mql
