// A program's #import blocks bound as the terminal binds them: the DLLs
// loaded from the runner's folder (kernel32 from the system's, or the
// stand-ins below where there is none), the imports declared only when DLL
// calls are not allowed, and the imports that carry an address through an
// MQL4 int, which only a 32-bit build can call.
#include "tools/mql4run/runner.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "tools/mql4run/text.h"

namespace mql4run {

namespace {

// The client exports whose rows say they hand over an address (library in
// lower case, name), made from the tables.
const std::pair<const char*, const char*> kAddressExports[] = {
#include "boundary/address_exports.inc"
};

constexpr bool kIntHoldsPointer = sizeof(void*) == sizeof(std::int32_t);

// Imports that carry a memory address in an MQL4 int (a text pointer, a
// structure holding one): only where int is a pointer's size can they work.
bool passes_address_through_int(const std::string& library, const std::string& name) {
    const std::string lib = mql::ascii_lower(library);
    if (lib == "kernel32.dll") return true;
    for (const auto& [dll, export_name] : kAddressExports)
        if (lib == dll && name == export_name) return true;
    return false;
}

// Where the system has no kernel32 (away from Windows), the two functions
// the MQL5 kit imports from it to copy the library's text (its addresses
// travel as long, so they work in any 64-bit build): what Windows' own do.
int stand_in_lstrlenA(const char* text) {
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}
void stand_in_RtlMoveMemory(void* destination, const void* source, std::int64_t length) {
    if (length > 0) std::memmove(destination, source, static_cast<std::size_t>(length));
}

void* kernel32_stand_in(const std::string& name) {
    if (name == "lstrlenA") return reinterpret_cast<void*>(&stand_in_lstrlenA);
    if (name == "RtlMoveMemory") return reinterpret_cast<void*>(&stand_in_RtlMoveMemory);
    return nullptr;
}

// The file that stands for a Windows DLL name in this build's folder.
std::string library_file(const std::string& name) {
    std::string stem = name;
    if (mql::ascii_lower(stem).size() > 4 && mql::ascii_lower(stem).compare(stem.size() - 4, 4, ".dll") == 0)
        stem.resize(stem.size() - 4);
    return platform::library_file_name(stem);
}

}  // namespace

bool Imports::bind(const mql::ProgramEntry& program, const std::string& folder, std::string* error) {
    for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl) {
        mql::BoundImport bound;
        bound.library = decl->library;
        bound.name = decl->name;
        // MQL5 programs pass addresses as long: they work in any 64-bit build.
        const bool mql5 = program.dialect == mql::Dialect::mql5;
        const bool address_in_int = !mql5 && passes_address_through_int(decl->library, decl->name);
        const bool system_library = mql::ascii_lower(decl->library) == "kernel32.dll";
        if (!kIntHoldsPointer && system_library && !mql5) {
            // MQL4's kernel32 imports take addresses in an int: refused when called.
            bound.pointer_through_int = true;
            bound_.push_back(bound);
            continue;
        }
        auto found = std::find_if(libraries_.begin(), libraries_.end(), [&](const auto& entry) {
            return mql::ascii_lower(entry.first) == mql::ascii_lower(decl->library);
        });
        if (found == libraries_.end()) {
            std::string reason;
            // kernel32 from the system folder only, as the terminal finds it.
            platform::DynamicLibrary library =
                system_library ? platform::DynamicLibrary::open_system(decl->library, &reason)
                               : platform::DynamicLibrary::open(folder + "/" + library_file(decl->library), &reason);
            if (!library.loaded() && system_library) {
                bound.address = kernel32_stand_in(decl->name);  // no kernel32 here
                if (bound.address != nullptr) {
                    bound_.push_back(bound);
                    continue;
                }
            }
            if (!library.loaded()) {
                *error = std::string("cannot load ") + decl->library + " (imported by " + program.file +
                         ") from " + folder + ": " + reason;
                return false;
            }
            libraries_.emplace_back(decl->library, std::move(library));
            found = libraries_.end() - 1;
        }
        bound.address = found->second.symbol(decl->name);
        if (bound.address == nullptr) {
            *error = std::string(decl->library) + " has no export " + decl->name + " (imported by " +
                     program.file + ")";
            return false;
        }
        bound.pointer_through_int = address_in_int && !kIntHoldsPointer;
        bound_.push_back(bound);
    }
    return true;
}

void Imports::declare(const mql::ProgramEntry& program) {
    for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl) {
        mql::BoundImport bound;
        bound.library = decl->library;
        bound.name = decl->name;
        bound_.push_back(bound);
    }
}

bool bind_imports(const mql::ProgramEntry& program, const std::string& folder, bool dlls_allowed,
                  Imports* imports, std::string* error) {
    if (dlls_allowed) return imports->bind(program, folder, error);
    if (program.dialect == mql::Dialect::mql5 && program.imports->library != nullptr) {
        *error = std::string(program.file) + " imports " + program.imports->library +
                 ", and DLL loading is not allowed: MetaTrader 5 does not load the program (switch on "
                 "\"Allow DLL imports\")";
        return false;
    }
    imports->declare(program);
    return true;
}

std::string address_import_reached(const mql::ProgramEntry& program) {
    if (kIntHoldsPointer || program.reached == nullptr || program.dialect == mql::Dialect::mql5) return {};
    for (const char* const* name = program.reached; *name != nullptr; ++name) {
        for (const mql::ImportDecl* decl = program.imports; decl->library != nullptr; ++decl)
            if (std::strcmp(decl->name, *name) == 0 && passes_address_through_int(decl->library, decl->name))
                return std::string(decl->name) + " of " + decl->library;
    }
    return {};
}

}  // namespace mql4run
