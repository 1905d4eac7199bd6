// The library's debugger output over a whole process life: loaded by msxhost
// in a child process, driven through the client exports, unloaded.
#include <gtest/gtest.h>

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

// The strings of the run without thread notifications, which depend on what
// threads the platform starts in the process.
std::vector<std::string> process_lines(const testing_support::CapturedRun& run) {
    std::vector<std::string> out;
    for (const std::string& s : run.strings)
        if (s != "VSA DLL Thread Attach" && s != "VSA DLL Thread Detach") out.push_back(s);
    return out;
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

}  // namespace
