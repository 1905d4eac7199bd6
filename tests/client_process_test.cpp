// The library's debugger output over a whole process life: loaded by msxhost
// in a child process, driven through the client exports, unloaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "debug_capture.h"

#ifndef BARSIGHT_PLUGIN_PATH
#error "BARSIGHT_PLUGIN_PATH must name the built plug-in"
#endif
#ifndef MSXHOST_PATH
#error "MSXHOST_PATH must name the built msxhost"
#endif

namespace {

bool is_thread_line(const std::string& s) {
    return s == "VSA DLL Thread Attach" || s == "VSA DLL Thread Detach";
}
bool is_msxhost_line(const std::string& s) { return s.rfind("msxhost: ", 0) == 0; }

// The library's strings of the run without thread notifications, which
// depend on what threads the platform starts in the process, and without
// msxhost's own lines.
std::vector<std::string> process_lines(const testing_support::CapturedRun& run) {
    std::vector<std::string> out;
    for (const std::string& s : run.strings)
        if (!is_thread_line(s) && !is_msxhost_line(s)) out.push_back(s);
    return out;
}

// The run's strings with msxhost's lines, without thread notifications.
std::vector<std::string> lines_with_calls(const testing_support::CapturedRun& run) {
    std::vector<std::string> out;
    for (const std::string& s : run.strings)
        if (!is_thread_line(s)) out.push_back(s);
    return out;
}

void set_environment(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

std::vector<std::string> client(std::vector<std::string> calls) {
    std::vector<std::string> args = {MSXHOST_PATH, "client", BARSIGHT_PLUGIN_PATH};
    args.insert(args.end(), calls.begin(), calls.end());
    return args;
}

TEST(ClientProcess, LoadUseAndUnloadWithThreeHandles) {
    const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(
        client({"TS_SetVSAValue", "1", "1", "5", "--", "TS_SetVSAValue", "1", "2", "6", "--",
                "TS_SetConfValue", "2", "1", "7", "--", "TS_CreateTable", "3", "--",
                "TS_GetVSAValue", "4", "1", "--", "DebugPrint", "abc"}));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    const std::vector<std::string> expected = {
        "Global Data Table Created\n",
        "VSA DLL Process Attach",
        "AddVSAValue: VSA Handle Does Not Exist: Adding It",
        "AddConfValue: VSA Handle Does Not Exist: Adding It",
        "abc",
        "\n",
        "VSA DLL Process Detach",
        "Global Data Table Start Destructor\n",
        "Delete Table",
        "Delete Table",
        "Delete Table",
        "Handle Map Tables Deleted",
        "Global Data Table Destroyed\n",
    };
    EXPECT_EQ(process_lines(run), expected);
}

TEST(ClientProcess, NoHandlesMeansNoDeleteTable) {
    const testing_support::CapturedRun run =
        testing_support::run_capturing_debug_output(client({"GetRefCount"}));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    const std::vector<std::string> expected = {
        "Global Data Table Created\n",         "VSA DLL Process Attach",
        "VSA DLL Process Detach",              "Global Data Table Start Destructor\n",
        "Handle Map Tables Deleted",           "Global Data Table Destroyed\n",
    };
    EXPECT_EQ(process_lines(run), expected);
}

TEST(ClientProcess, BadInputThroughTheExportsDoesNotCrash) {
    const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(client(
        {"DebugPrint", "null", "--", "TS_SetVSAValue", "0", "1", "1", "--", "TS_SetVSAValue",
         "-2147483648", "2147483647", "1", "--", "TS_GetVSAValue", "-1", "-2147483648", "--",
         "SignFilter", "-2147483648", "--", "CalcVolumeColor", "nan", "1", "2", "nan", "3", "--",
         "DecRefCount", "--", "GetCurrentUTCStr"}));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    const std::vector<std::string> lines = process_lines(run);
    // DebugPrint(NULL) sends the empty text and the line break; handles of 0
    // and below create no table, so no message and no "Delete Table".
    const std::vector<std::string> expected = {
        "Global Data Table Created\n",       "VSA DLL Process Attach", "", "\n",
        "VSA DLL Process Detach",            "Global Data Table Start Destructor\n",
        "Handle Map Tables Deleted",         "Global Data Table Destroyed\n",
    };
    EXPECT_EQ(lines, expected);
}

// The values a fresh process starts from, whatever another test did before.
TEST(ClientProcess, InitialValuesInAFreshProcess) {
    const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(
        client({"GetRefCount", "--", "GetUniqueID", "--", "TS_GetID", "--", "IncRefCount", "--",
                "GetUniqueID", "--", "TS_GetID", "--", "IsDialogRunning"}));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    std::vector<std::string> calls;
    for (const std::string& s : run.strings)
        if (is_msxhost_line(s)) calls.push_back(s);
    const std::vector<std::string> expected = {
        "msxhost: GetRefCount() = 0", "msxhost: GetUniqueID() = 10", "msxhost: TS_GetID() = 1",
        "msxhost: IncRefCount() = 1", "msxhost: GetUniqueID() = 11", "msxhost: TS_GetID() = 2",
        "msxhost: IsDialogRunning() = -1"};
    EXPECT_EQ(calls, expected);
}

// A client that ends the help window and its hooks and unloads the library
// gets the whole unload; a thread started then runs nothing of the library,
// and loading it again starts from the initial values.
TEST(ClientProcess, EndDialogAndHooksUnloadThreadReload) {
    const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(client(
        {"GetUniqueID", "--", "IncRefCount", "--", "TS_GetID", "--", "TS_SetVSAValue", "7", "1",
         "5", "--", "StartDialog", "--", "ShowDialog", "0", "VSATrend", "--", "window", "--",
         "SubclassWindow", "$window", "0", "--", "UnsubclassWindow", "1", "--", "KillDialog",
         "--", "unload", "--", "loaded", "--", "thread", "--", "load", "--", "TS_GetID", "--",
         "GetUniqueID", "--", "GetRefCount", "--", "TS_GetVSAValue", "7", "1"}));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    const std::vector<std::string> lines = lines_with_calls(run);
    auto at = [&](const std::string& s) {
        return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), s) - lines.begin());
    };
    const std::size_t killed = at("msxhost: KillDialog()"), unload = at("msxhost: unload"),
                      load = at("msxhost: load");
    ASSERT_LT(load, lines.size());
    ASSERT_LT(killed, unload);
    // At the unload: the detach and the destructor lines, in order.
    const std::vector<std::string> unload_lines(lines.begin() + static_cast<long>(killed) + 1,
                                                lines.begin() + static_cast<long>(load));
    const std::vector<std::string> expected_unload = {
        "VSA DLL Process Detach",      "Global Data Table Start Destructor\n",
        "Delete Table",                "Handle Map Tables Deleted",
        "Global Data Table Destroyed\n", "msxhost: unload",
        "msxhost: loaded = 0",         "msxhost: thread",
        "Global Data Table Created\n",  "VSA DLL Process Attach"};
    EXPECT_EQ(unload_lines, expected_unload);
    // Nothing of the library saw the thread between unload and reload.
    for (std::size_t k = unload; k < load && k < run.strings.size(); ++k)
        EXPECT_FALSE(is_thread_line(run.strings[k])) << k;
    // The reloaded library starts from its initial values, with no tables.
    const std::vector<std::string> after(lines.begin() + static_cast<long>(load) + 1, lines.end());
    const std::vector<std::string> expected_after = {
        "msxhost: TS_GetID() = 1", "msxhost: GetUniqueID() = 10", "msxhost: GetRefCount() = 0",
        "msxhost: TS_GetVSAValue(7, 1) = 0", "VSA DLL Process Detach",
        "Global Data Table Start Destructor\n", "Handle Map Tables Deleted",
        "Global Data Table Destroyed\n"};
    EXPECT_EQ(after, expected_after);
}

// A client that leaves the help window open and ends: the process ends
// too (the window's thread is left to the end of the process, not joined
// behind a loop nobody ends), and the library's objects go as usual.
TEST(ClientProcess, EndingWithTheHelpWindowOpen) {
    for (const char* start : {"StartDialog", "ShowDialog"}) {
        SCOPED_TRACE(start);
        std::vector<std::string> calls = {start};
        if (std::string(start) == "ShowDialog") calls.insert(calls.end(), {"0", "VSATrend"});
        calls.insert(calls.end(), {"--", "IsDialogRunning"});
        const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(client(calls));
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, 0);
        const std::vector<std::string> lines = lines_with_calls(run);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "msxhost: IsDialogRunning() = 1"), lines.end());
        EXPECT_EQ(lines.back(), "Global Data Table Destroyed\n");
    }
}

// Support's trace switch: off by default; BARSIGHT_TRACE=1 sends every trace
// text to the debugger output as given.
TEST(ClientProcess, TraceSwitch) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        set_environment("BARSIGHT_TRACE", on ? "1" : nullptr);
        const testing_support::CapturedRun run = testing_support::run_capturing_debug_output(
            client({"IncRefCount", "--", "DecRefCount", "--", "HideDialog"}));
        set_environment("BARSIGHT_TRACE", nullptr);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, 0);
        const std::vector<std::string> lines = process_lines(run);
        const bool dec = std::find(lines.begin(), lines.end(), "Dec Ref Count = 0") != lines.end();
        const bool hide = std::find(lines.begin(), lines.end(), "Hide Dialog") != lines.end();
        EXPECT_EQ(dec, on);
        EXPECT_EQ(hide, on);
    }
}

}  // namespace
