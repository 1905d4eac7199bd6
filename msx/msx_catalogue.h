// A plug-in's function catalogue as data: one row per calculation export
// (its name, description, arguments and the calculation it runs), and the
// four catalogue queries the host makes, answered from the rows. The rows
// are made from the calc rows of the plug-in's table of exports by
// generators/make_boundary.py (boundary/<library>_catalogue.h), each
// calculation with its row's argument checks.
//
// Each export shim is a plain extern "C" function with the host's full
// parameter list that looks up the row of its own name (__func__) at compile
// time and calls the row's calculation, so a reader goes from the export
// name to the row, and from the row to the calculation, by text search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "msx/msx_records.h"
#include "msx/msx_text.h"

namespace msx {

// The arguments of one calculation call, exactly as the host passed them.
// Every pointer may be null; the accessors below answer for a null record.
struct CalcArgs {
    const MSXDataRec* data;
    const MSXDataInfoRecArgsArray* arrays;
    const MSXNumericArgsArray* numerics;
    const MSXStringArgsArray* strings;
    const MSXCustomArgsArray* customs;
    MSXResultRec* result;
    // The export's name, from its catalogue row (its shim passes it); null
    // when a calculation is called directly.
    const char* name = nullptr;

    int32_t numeric_count() const noexcept { return numerics != nullptr ? numerics->iNRecs : 0; }
    int32_t array_count() const noexcept { return arrays != nullptr ? arrays->iNRecs : 0; }
    // Callers check numeric_count() first.
    float numeric(int k) const noexcept { return numerics->fNumerics[k]; }
    // String argument k (0..8), or null when no string arguments were passed.
    const char* string(int k) const noexcept {
        return strings != nullptr ? strings->pszStrings[k] : nullptr;
    }
    // The result series; callers check result and its array first.
    MSXDataInfoRec* series() const noexcept { return result->psResultArray; }
};

// A calculation: the body behind one calculation export.
using Calc = int32_t (*)(const CalcArgs&) noexcept;

// How MSXNthArg treats the argument index of a function.
enum class ArgIndexRule {
    kIgnored,   // one-argument functions: every index describes argument 0
    kChecked,   // only the declared indices are known
    kNoneKept,  // no arguments: answers success and writes nothing more
};

struct ArgRow {
    const char* name;
    int32_t type;  // kArgDataArray, kArgNumeric, kArgString or kArgCustom
};

inline constexpr int kMaxCatalogueArgs = 3;

struct FunctionRow {
    const char* name;  // the export the host calls
    const char* description;
    int32_t arg_count;
    ArgIndexRule rule;
    ArgRow args[kMaxCatalogueArgs];
    Calc calc;
};

// What a catalogue answers for a question outside its rows. The two plug-ins
// differ here, and hosts rely on each one's answers as they are.
struct CatalogueAnswers {
    // MSXNthArg for a null record, an unknown function or an unknown index
    // of a kChecked row: kError, or kSuccess with nothing written.
    int32_t unknown_arg;
    // The one entry MSXNthCustomString writes for any indices (ID 0), or
    // null: then it answers kSuccess and writes nothing, even for a null
    // record.
    const char* custom_string;
};

class Catalogue {
public:
    template <std::size_t N>
    constexpr Catalogue(const char* copyright, const FunctionRow (&rows)[N],
                        CatalogueAnswers answers) noexcept
        : copyright_(copyright), rows_(rows), count_(static_cast<int32_t>(N)), answers_(answers) {}

    constexpr int32_t count() const noexcept { return count_; }
    constexpr const FunctionRow& operator[](int32_t k) const noexcept { return rows_[k]; }
    constexpr const FunctionRow* begin() const noexcept { return rows_; }
    constexpr const FunctionRow* end() const noexcept { return rows_ + count_; }
    constexpr const char* copyright() const noexcept { return copyright_; }

    // The row of the export `name`. Used in constant expressions by the
    // export shims: a name without a row does not compile.
    constexpr const FunctionRow& row(std::string_view name) const {
        for (int32_t k = 0; k < count_; ++k)
            if (std::string_view(rows_[k].name) == name) return rows_[k];
        throw "no catalogue row for this export";
    }

    // MSXInfo: the copyright text, the number of rows, version 1.
    int32_t info(MSXDLLDef* a_psDLLDef) const noexcept {
        if (a_psDLLDef == nullptr) return kError;
        copy_text(a_psDLLDef->szCopyright, copyright_);
        a_psDLLDef->iNFuncs = count_;
        a_psDLLDef->iVersion = 1;
        return kSuccess;
    }

    // MSXNthFunction: the row's name, description and argument count; an
    // index outside the rows writes nothing.
    int32_t nth_function(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) const noexcept {
        if (a_iNthFunc < 0 || a_iNthFunc >= count_ || a_psFuncDef == nullptr) return kError;
        const FunctionRow& entry = rows_[a_iNthFunc];
        copy_text(a_psFuncDef->szFunctionName, entry.name);
        copy_text(a_psFuncDef->szFunctionDescription, entry.description);
        a_psFuncDef->iNArguments = entry.arg_count;
        return kSuccess;
    }

    // MSXNthArg: the custom-string count is cleared for every call with a
    // record, known indices or not; then the argument's type and name.
    int32_t nth_arg(int32_t a_iNthFunc, int32_t a_iNthArg,
                    MSXFuncArgDef* a_psFuncArgDef) const noexcept {
        if (a_psFuncArgDef == nullptr) return answers_.unknown_arg;
        a_psFuncArgDef->iNCustomStrings = 0;
        if (a_iNthFunc < 0 || a_iNthFunc >= count_) return answers_.unknown_arg;
        const FunctionRow& entry = rows_[a_iNthFunc];
        const ArgRow* arg = nullptr;
        switch (entry.rule) {
            case ArgIndexRule::kNoneKept:
                return kSuccess;
            case ArgIndexRule::kIgnored:
                arg = &entry.args[0];
                break;
            case ArgIndexRule::kChecked:
                if (a_iNthArg < 0 || a_iNthArg >= entry.arg_count) return answers_.unknown_arg;
                arg = &entry.args[a_iNthArg];
                break;
        }
        a_psFuncArgDef->iArgType = arg->type;
        copy_text(a_psFuncArgDef->szArgName, arg->name);
        return kSuccess;
    }

    // MSXNthCustomString: no argument declares custom strings; the indices
    // are not read.
    int32_t nth_custom_string(int32_t /*a_iNthFunc*/, int32_t /*a_iNthArg*/,
                              int32_t /*a_iNthString*/,
                              MSXFuncCustomString* a_psCustomString) const noexcept {
        if (answers_.custom_string == nullptr) return kSuccess;
        if (a_psCustomString == nullptr) return kError;
        copy_text(a_psCustomString->szString, answers_.custom_string);
        a_psCustomString->iID = 0;
        return kSuccess;
    }

private:
    const char* copyright_;
    const FunctionRow* rows_;
    int32_t count_;
    CatalogueAnswers answers_;
};

}  // namespace msx
