#include "harness/client_call.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "msx/msx_records.h"
#include "harness/chart_data.h"

namespace harness {

namespace {

enum class Parsed { ok, not_a_number, out_of_range };

// A decimal integer: "010" is ten, as the client's own inputs read it (never
// octal, never hexadecimal).
Parsed parse_int(const std::string& text, int32_t* value) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return Parsed::not_a_number;
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return Parsed::out_of_range;
    *value = static_cast<int32_t>(v);
    return Parsed::ok;
}

// The client's string record as the library writes it (byte-packed: an
// int32 count, then the text's address).
#pragma pack(push, 1)
struct ClientText {
    int32_t length;
    char* text;
};
#pragma pack(pop)

bool parse_double(const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

std::string quoted(const char* text) {
    if (text == nullptr) return "null";
    return "\"" + std::string(text) + "\"";
}


}  // namespace

const std::vector<ClientSignature>& client_signatures() {
    // One row per client export, made from plugin/BarsightPlugin.exports.
    static const std::vector<ClientSignature> table = {
#include "boundary/client_signatures.inc"
    };
    return table;
}

const ClientSignature* find_client_signature(const std::string& name) {
    for (const ClientSignature& s : client_signatures())
        if (name == s.name) return &s;
    return nullptr;
}

ClientCallStatus call_client_export(const platform::DynamicLibrary& library, const std::string& name,
                        const std::vector<std::string>& args, std::string* output) {
    const ClientSignature* sig = find_client_signature(name);
    if (sig == nullptr) {
        *output = name + " is not a client export msxhost knows";
        return ClientCallStatus::usage;
    }
    void* address = library.symbol(name.c_str());
    if (address == nullptr) {
        *output = "the library does not export " + name;
        return ClientCallStatus::failed;
    }
    const std::string kinds = sig->args;
    if (args.size() != kinds.size()) {
        *output = name + " takes " + std::to_string(kinds.size()) + " argument(s)";
        return ClientCallStatus::usage;
    }
    int32_t ints[9] = {};
    int32_t outs[9] = {};
    double doubles[9] = {};
    const char* texts[9] = {};
    std::string shown;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        Parsed got = Parsed::ok;
        if (kinds[k] == 'i' || kinds[k] == 'p') got = parse_int(args[k], &ints[k]);
        else if (kinds[k] == 'd') got = parse_double(args[k], &doubles[k]) ? Parsed::ok : Parsed::not_a_number;
        else texts[k] = args[k] == "null" ? nullptr : args[k].c_str();
        if (got != Parsed::ok) {
            *output = "argument " + std::to_string(k + 1) + " of " + name +
                      (got == Parsed::out_of_range ? " is outside the int32 range (-2147483648 to 2147483647)"
                                                   : " is not a number");
            return ClientCallStatus::usage;
        }
        if (k > 0) shown += ", ";
        shown += kinds[k] == 's' ? quoted(texts[k]) : args[k];
        outs[k] = ints[k];
    }

    const std::string signature = std::string(1, sig->result) + ":" + kinds;
    std::string result;
    if (signature == "i:") {
        result = std::to_string(reinterpret_cast<int32_t(MSX_STDCALL*)()>(address)());
    } else if (signature == "i:i") {
        result = std::to_string(reinterpret_cast<int32_t(MSX_STDCALL*)(int32_t)>(address)(ints[0]));
    } else if (signature == "i:ii") {
        result = std::to_string(
            reinterpret_cast<int32_t(MSX_STDCALL*)(int32_t, int32_t)>(address)(ints[0], ints[1]));
    } else if (signature == "i:iii") {
        result = std::to_string(reinterpret_cast<int32_t(MSX_STDCALL*)(int32_t, int32_t, int32_t)>(
            address)(ints[0], ints[1], ints[2]));
    } else if (signature == "i:ddddd") {
        using Fn = int32_t(MSX_STDCALL*)(double, double, double, double, double);
        result = std::to_string(reinterpret_cast<Fn>(address)(doubles[0], doubles[1], doubles[2],
                                                              doubles[3], doubles[4]));
    } else if (signature == "s:") {
        result = quoted(reinterpret_cast<const char*(MSX_STDCALL*)()>(address)());
    } else if (signature == "v:s") {
        reinterpret_cast<void(MSX_STDCALL*)(const char*)>(address)(texts[0]);
    } else if (signature == "v:") {
        reinterpret_cast<void(MSX_STDCALL*)()>(address)();
    } else if (signature == "i:ip") {
        using Fn = int32_t(MSX_STDCALL*)(int32_t, int32_t*);
        result = std::to_string(reinterpret_cast<Fn>(address)(ints[0], &outs[1]));
        result += " (" + std::to_string(outs[1]) + ")";
    } else if (signature == "q:i") {
        // The queue's oldest event through six out-parameters, as the client
        // reads it; its text is the library's, copied at once.
        using Fn = int32_t(MSX_STDCALL*)(int32_t, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, ClientText*);
        int32_t type = 0, p1 = 0, p2 = 0, p3 = 0, when = 0;
        ClientText text{0, nullptr};
        const int32_t got = reinterpret_cast<Fn>(address)(ints[0], &type, &p1, &p2, &p3, &when, &text);
        result = std::to_string(got) + " (type " + std::to_string(type) + ", " + std::to_string(p1) + ", " + std::to_string(p2) +
                      ", " + std::to_string(p3) + ", at " + std::to_string(when) + ", " + quoted(text.text) + ")";
    } else if (signature == "v:is") {
        reinterpret_cast<void(MSX_STDCALL*)(int32_t, const char*)>(address)(ints[0], texts[1]);
    } else {
        *output = "msxhost cannot call signature " + signature;
        return ClientCallStatus::failed;
    }
    *output = name + "(" + shown + ")" + (result.empty() ? "" : " = " + result);
    return ClientCallStatus::done;
}


}  // namespace harness
