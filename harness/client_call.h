// Calls the trading-client exports of a plug-in by name, as the client does:
// stdcall, with the argument types of the client's import declarations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace harness {

// One client export's signature: result kind and argument kinds, each
// 'i' (int32), 'p' (an int32 the call writes through a pointer; the
// argument is its first value), 'd' (double), 's' (8-bit text; "null"
// passes a null pointer)
// or, for the result only, 'v' (none) or 'q' (an int32 and the tooltip
// queue's record: five int32 and a text, written through pointers).
struct ClientSignature {
    const char* name;
    char result;
    const char* args;
};

const std::vector<ClientSignature>& client_signatures();
const ClientSignature* find_client_signature(const std::string& name);

// Calls `name` in `library` with textual arguments: done, with "name(args)
// = result" in `output`; usage (an export msxhost does not know, arguments
// that do not fit) or failed (the library lacks the export), with the
// reason in `output`.
enum class ClientCallStatus { done, usage, failed };
ClientCallStatus call_client_export(const platform::DynamicLibrary& library, const std::string& name,
                        const std::vector<std::string>& args, std::string* output);

}  // namespace harness
