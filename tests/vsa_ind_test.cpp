// VSAInd through a real copy of the plug-in and a recording engine, each test
// in a fresh folder laid out as a user installs them: the plug-in, and (or
// not) Spreadcore beside it.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "chart_fixture.h"
#include "engines/fake_engine.h"
#include "platform/dynamic_library.h"
#include "harness/plugin.h"
#include "harness/stress.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef BARSIGHT_PLUGIN_PATH
#error "BARSIGHT_PLUGIN_PATH, FAKE_ENGINE_PATH and PARTIAL_ENGINE_PATH must be defined"
#endif

namespace fs = std::filesystem;

namespace {

// Under ctest every test runs in its own process, as a host session would:
// the engine, once bound, stays loaded for the process.
class VSAInd : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("barsight-vsaind-" + std::string(::testing::UnitTest::GetInstance()
                                                        ->current_test_info()
                                                        ->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        plugin_path_ = folder_ / fs::path(platform::native_path(BARSIGHT_PLUGIN_PATH)).filename();
        fs::copy_file(platform::native_path(BARSIGHT_PLUGIN_PATH), plugin_path_);
    }

    std::string engine_path() const {
        return (folder_ / fs::path(platform::native_path(FAKE_ENGINE_PATH)).filename()).string();
    }

    void install_engine(const char* built) {
        fs::copy_file(platform::native_path(built), engine_path(),
                      fs::copy_options::overwrite_existing);
    }

    // Loads the installed engine (the same module the plug-in binds) and
    // programs it.
    void program_engine(int32_t handle, const std::vector<int32_t>& codes) {
        std::string error;
        engine_ = platform::DynamicLibrary::open(engine_path(), &error);
        ASSERT_TRUE(engine_.loaded()) << error;
        configure_ = engine_.function<FakeEngineConfigureFn>("FakeEngine_Configure");
        count_ = engine_.function<FakeEngineCallCountFn>("FakeEngine_CallCount");
        get_ = engine_.function<FakeEngineGetCallFn>("FakeEngine_GetCall");
        ASSERT_TRUE(configure_ && count_ && get_);
        configure_(handle, codes.data(), static_cast<int32_t>(codes.size()));
    }

    std::vector<FakeEngineCall> calls() const {
        std::vector<FakeEngineCall> out(static_cast<std::size_t>(count_()));
        for (std::size_t i = 0; i < out.size(); ++i) get_(static_cast<int32_t>(i), &out[i]);
        return out;
    }

    void load_plugin() {
        std::string error;
        ASSERT_TRUE(plugin_.load(plugin_path_.string(), &error)) << error;
        vsa_ind_ = plugin_.find("VSAInd")->calc;
        ASSERT_NE(vsa_ind_, nullptr);
    }

    harness::CallResult run(const harness::CallSpec& call) {
        harness::CallResult r = harness::call_function(vsa_ind_, call);
        EXPECT_TRUE(r.violations.empty()) << r.violations.front();
        return r;
    }

    fs::path folder_;
    fs::path plugin_path_;
    platform::DynamicLibrary engine_;
    FakeEngineConfigureFn configure_ = nullptr;
    FakeEngineCallCountFn count_ = nullptr;
    FakeEngineGetCallFn get_ = nullptr;
    harness::Plugin plugin_;
    MSXCalcFunc vsa_ind_ = nullptr;
};

std::string engine_file_name() {
#if defined(_WIN32)
    return "Spreadcore.dll";
#else
    return "libSpreadcore.so";
#endif
}

bool module_loaded(const std::string& path) {
#if defined(_WIN32)
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h != nullptr) dlclose(h);
    return h != nullptr;
#endif
}

void expect_empty_failure(const harness::CallResult& r, const std::string& message) {
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, -1);
    for (float v : r.values) EXPECT_TRUE(testing_support::same_bits(v, testing_support::kUnwritten));
}

TEST_F(VSAInd, EngineInstalledWhileTheHostRunsIsFoundNextTime) {
    load_plugin();
    const harness::CallSpec call = testing_support::random_chart(40, 0, 1);
    expect_empty_failure(run(call), engine_file_name() + " not found: install it beside BarsightPlugin");
    install_engine(FAKE_ENGINE_PATH);
    program_engine(3, {});
    const harness::CallResult r = run(call);
    EXPECT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.last, 39);
}

// A Spreadcore in the current folder (where a host was started from, a
// download folder) is never loaded: the plug-in's folder lacks one, so the
// call fails as without any engine.
TEST_F(VSAInd, EngineInTheCurrentFolderIsNotLoaded) {
    const fs::path planted = folder_ / "current";
    fs::create_directories(planted);
    fs::copy_file(platform::native_path(FAKE_ENGINE_PATH), planted / engine_file_name());
    const fs::path before = fs::current_path();
    fs::current_path(planted);
    load_plugin();
    const harness::CallResult r = run(testing_support::random_chart(40, 0, 1));
    fs::current_path(before);
    expect_empty_failure(r, engine_file_name() + " not found: install it beside BarsightPlugin");
    EXPECT_FALSE(module_loaded((planted / engine_file_name()).string()));
}

TEST_F(VSAInd, EngineWithoutAnEntryPointIsReleasedBeforeTheNextTry) {
    install_engine(PARTIAL_ENGINE_PATH);
    load_plugin();
    const harness::CallSpec call = testing_support::random_chart(40, 0, 2);
    expect_empty_failure(run(call), engine_file_name() + " lacks the entry point AnalysePosn");
    EXPECT_FALSE(module_loaded(engine_path()));
    // Released, so it can be replaced in place (Windows refuses to overwrite
    // a loaded library).
    install_engine(FAKE_ENGINE_PATH);
    program_engine(3, {});
    EXPECT_EQ(run(call).code, 0);
}

TEST_F(VSAInd, StressWithAndWithoutTheEngine) {
    load_plugin();
    std::ostringstream out;
    std::vector<harness::StressReport> reports;
    EXPECT_TRUE(harness::run_stress(plugin_, out, &reports)) << out.str();
    install_engine(FAKE_ENGINE_PATH);
    program_engine(5, {1, 2, -2, 3, 1000, 0, -199});
    EXPECT_TRUE(harness::run_stress(plugin_, out, &reports)) << out.str();
    for (const harness::StressReport& r : reports) {
        if (r.function == "VSAInd") {
            EXPECT_GT(r.succeeded, 0);
        }
    }
}

TEST_F(VSAInd, HundredBarsCallSequence) {
    install_engine(FAKE_ENGINE_PATH);
    program_engine(42, {});  // codes = pos
    load_plugin();
    harness::CallSpec call = testing_support::random_chart(100, 0, 3);
    call.symbol = "EURUSD";
    call.volume.values[20] = 0.0f;
    call.volume.values[21] = 0.00005f;
    call.volume.values[22] = 0.0002f;
    call.volume.values[23] = 0.0001f;  // the float lies just below the double 0.0001
    const harness::CallResult r = run(call);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 99);

    const std::vector<FakeEngineCall> c = calls();
    ASSERT_EQ(c.size(), 101u);  // open, 99 bars, close
    EXPECT_EQ(c[0].kind, 0);
    EXPECT_STREQ(c[0].app, "metastock");
    EXPECT_STREQ(c[0].symbol, "EURUSD");
    EXPECT_EQ(c[0].periods, 9);
    for (int i = 0; i < 99; ++i) {
        const FakeEngineCall& a = c[static_cast<std::size_t>(i) + 1];
        ASSERT_EQ(a.kind, 1);
        EXPECT_EQ(a.handle, 42);
        EXPECT_EQ(a.pos, i - 1);
        EXPECT_EQ(a.date, 2.0 + i);
        EXPECT_EQ(a.open, static_cast<double>(call.close.values[i]));
        EXPECT_EQ(a.close, static_cast<double>(call.close.values[i]));
        EXPECT_EQ(a.high, static_cast<double>(call.high.values[i]));
        EXPECT_EQ(a.low, static_cast<double>(call.low.values[i]));
        EXPECT_EQ(a.next, i == 98 ? -1.0 : static_cast<double>(call.close.values[i + 1]));
        EXPECT_EQ(a.confirm, 0);
        const double v = call.volume.values[i];
        EXPECT_EQ(a.volume, v < 0.0001 ? 1.0 : v) << i;
    }
    EXPECT_EQ(c[21].volume, 1.0);   // bar 20: volume 0
    EXPECT_EQ(c[22].volume, 1.0);   // bar 21: 0.00005
    EXPECT_EQ(c[23].volume, static_cast<double>(0.0002f));
    EXPECT_EQ(c[24].volume, 1.0);   // bar 23: float(0.0001) < 0.0001
    EXPECT_EQ(c[100].kind, 2);
    EXPECT_EQ(c[100].handle, 42);

    for (int i = 0; i <= 15; ++i) EXPECT_EQ(r.values[i], 0.0f) << i;
    // The engine answered each bar with its pos (bar number - 1), filtered:
    // 15 and 17 are not in the pass set, 16, 97 and 22 are.
    EXPECT_EQ(r.values[16], 0.0f);
    EXPECT_EQ(r.values[17], 16.0f);
    EXPECT_EQ(r.values[18], 0.0f);
    EXPECT_EQ(r.values[23], 22.0f);
    EXPECT_EQ(r.values[98], 97.0f);
    EXPECT_EQ(r.values[99], 0.0f);
}

TEST_F(VSAInd, CodesOutsideThePassSetArePlottedAsZero) {
    install_engine(FAKE_ENGINE_PATH);
    // Bar n (from f = 0) receives program entry n % 6.
    const std::vector<int32_t> program = {2, -2, 3, -3, 1000, 199};
    const float plotted[] = {0, -2, 3, 0, 0, 199};
    program_engine(9, program);
    load_plugin();
    const harness::CallResult r = run(testing_support::random_chart(60, 0, 4));
    ASSERT_EQ(r.code, 0);
    for (int i = 16; i < 59; ++i) EXPECT_EQ(r.values[i], plotted[i % 6]) << i;
    EXPECT_EQ(r.values[59], 0.0f);
}

TEST_F(VSAInd, OneValidBarOpensAndClosesWithoutBars) {
    install_engine(FAKE_ENGINE_PATH);
    program_engine(4, {});
    load_plugin();
    harness::CallSpec call = testing_support::random_chart(31, 30, 5);  // f = l = 30
    const harness::CallResult r = run(call);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 30);
    EXPECT_EQ(r.last, 30);
    EXPECT_EQ(r.values[30], 0.0f);
    const std::vector<FakeEngineCall> c = calls();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].kind, 0);
    EXPECT_EQ(c[1].kind, 2);
}

TEST_F(VSAInd, FirstBarAfterZeroPassesItsOwnPos) {
    install_engine(FAKE_ENGINE_PATH);
    program_engine(4, {});
    load_plugin();
    const harness::CallResult r = run(testing_support::random_chart(50, 20, 6));
    EXPECT_EQ(r.code, 0);
    const std::vector<FakeEngineCall> c = calls();
    ASSERT_EQ(c.size(), 31u);
    EXPECT_EQ(c[1].pos, 19);  // bar number 20, minus one
    EXPECT_EQ(c[1].date, 2.0);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(testing_support::same_bits(r.values[i], testing_support::kUnwritten));
}

TEST_F(VSAInd, EmptySeriesWritesNothing) {
    install_engine(FAKE_ENGINE_PATH);
    program_engine(4, {});
    load_plugin();
    harness::CallSpec call = testing_support::random_chart(0, 0, 7);
    call.close.last = -1;
    const harness::CallResult r = run(call);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, -1);
    EXPECT_EQ(calls().size(), 2u);
}

TEST_F(VSAInd, RefusedHandleIsNotClosed) {
    install_engine(FAKE_ENGINE_PATH);
    load_plugin();
    for (int32_t handle : {0, -5}) {
        program_engine(handle, {});
        expect_empty_failure(run(testing_support::random_chart(30, 0, 8)),
                             "Data Passed Into VSA Indicator Invalid");
        const std::vector<FakeEngineCall> c = calls();
        ASSERT_EQ(c.size(), 1u) << handle;
        EXPECT_EQ(c[0].kind, 0);
    }
}

TEST_F(VSAInd, SymbolReachesTheEngineAsTheHostsBytes) {
    install_engine(FAKE_ENGINE_PATH);
    load_plugin();
    const struct {
        const char* symbol;
    } cases[] = {{nullptr}, {""}, {"AAPL"}, {"\x80\x9f\xe9X"}};  // cp1252 0x80..0x9F
    for (const auto& c : cases) {
        program_engine(4, {});
        harness::CallSpec call = testing_support::random_chart(20, 0, 9);
        call.symbol = c.symbol;
        EXPECT_EQ(run(call).code, 0);
        const std::vector<FakeEngineCall> rec = calls();
        ASSERT_FALSE(rec.empty());
        EXPECT_EQ(rec[0].symbol_is_null != 0, c.symbol == nullptr);
        if (c.symbol != nullptr) {
            EXPECT_STREQ(rec[0].symbol, c.symbol);
        }
    }
}

}  // namespace
