// Every client service called from several threads at once, through the
// built library's exports, as MetaTrader calls them from the threads of its
// charts and Expert Advisors: each thread's values come back whole, the
// counters balance, every identifier is handed out once, and a text one
// thread was given is never overwritten by another thread's calls. Run
// under ThreadSanitizer in the tsan lane, and as a 32-bit program in win32,
// where each call must be stdcall as the exports are.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "msx/msx_records.h"
#include "platform/dynamic_library.h"
#include "services/mql_str.h"

#ifndef BARSIGHT_PLUGIN_PATH
#error "BARSIGHT_PLUGIN_PATH must name the built plug-in"
#endif

namespace {

struct Exports {
    platform::DynamicLibrary library;
    int32_t (MSX_STDCALL* SignFilter)(int32_t);
    int32_t (MSX_STDCALL* CalcVolumeColor)(double, double, double, double, double);
    int32_t (MSX_STDCALL* TS_GetID)();
    int32_t (MSX_STDCALL* TS_CreateTable)(int32_t);
    int32_t (MSX_STDCALL* TS_SetVSAValue)(int32_t, int32_t, int32_t);
    int32_t (MSX_STDCALL* TS_SetConfValue)(int32_t, int32_t, int32_t);
    int32_t (MSX_STDCALL* TS_GetVSAValue)(int32_t, int32_t);
    int32_t (MSX_STDCALL* TS_GetConfValue)(int32_t, int32_t);
    int32_t (MSX_STDCALL* IncRefCount)();
    int32_t (MSX_STDCALL* DecRefCount)();
    int32_t (MSX_STDCALL* GetRefCount)();
    int32_t (MSX_STDCALL* GetUniqueID)();
    int32_t (MSX_STDCALL* GetCurrentTimeUTC)();
    const char* (MSX_STDCALL* GetCurrentUTCStr)();
    void (MSX_STDCALL* DebugPrint)(const char*);
    void (MSX_STDCALL* StartDialog)();
    void (MSX_STDCALL* ShowDialog)(int32_t, const char*);
    void (MSX_STDCALL* HideDialog)();
    void (MSX_STDCALL* KillDialog)();
    int32_t (MSX_STDCALL* IsDialogRunning)();
    int32_t (MSX_STDCALL* SubclassWindow)(int32_t, int32_t*);
    int32_t (MSX_STDCALL* UnsubclassWindow)(int32_t);
    int32_t (MSX_STDCALL* GetFromQueue)(int32_t, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, MqlStr*);

    template <class F>
    void bind(F*& function, const char* name) {
        function = reinterpret_cast<F*>(library.symbol(name));
        if (function == nullptr) ADD_FAILURE() << "no export " << name;
    }
    bool load() {
        std::string error;
        library = platform::DynamicLibrary::open(BARSIGHT_PLUGIN_PATH, &error);
        if (!library.loaded()) {
            ADD_FAILURE() << error;
            return false;
        }
        bind(SignFilter, "SignFilter");
        bind(CalcVolumeColor, "CalcVolumeColor");
        bind(TS_GetID, "TS_GetID");
        bind(TS_CreateTable, "TS_CreateTable");
        bind(TS_SetVSAValue, "TS_SetVSAValue");
        bind(TS_SetConfValue, "TS_SetConfValue");
        bind(TS_GetVSAValue, "TS_GetVSAValue");
        bind(TS_GetConfValue, "TS_GetConfValue");
        bind(IncRefCount, "IncRefCount");
        bind(DecRefCount, "DecRefCount");
        bind(GetRefCount, "GetRefCount");
        bind(GetUniqueID, "GetUniqueID");
        bind(GetCurrentTimeUTC, "GetCurrentTimeUTC");
        bind(GetCurrentUTCStr, "GetCurrentUTCStr");
        bind(DebugPrint, "DebugPrint");
        bind(StartDialog, "StartDialog");
        bind(ShowDialog, "ShowDialog");
        bind(HideDialog, "HideDialog");
        bind(KillDialog, "KillDialog");
        bind(IsDialogRunning, "IsDialogRunning");
        bind(SubclassWindow, "SubclassWindow");
        bind(UnsubclassWindow, "UnsubclassWindow");
        bind(GetFromQueue, "GetFromQueue");
        return !::testing::Test::HasFailure();
    }
};

constexpr int kThreads = 8;
constexpr int kRounds = 300;

TEST(ClientThreads, EveryServiceFromSeveralThreadsAtOnce) {
    Exports x;
    ASSERT_TRUE(x.load());
    const int32_t ref_start = x.GetRefCount();
    std::atomic<int> ready{0};
    std::vector<std::vector<int32_t>> ids(kThreads);
    std::vector<std::string> problems(kThreads);
    std::vector<const char*> text_of(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();  // all start together
            const int32_t handle = x.TS_GetID();
            x.TS_CreateTable(handle);
            std::string& problem = problems[static_cast<std::size_t>(t)];
            for (int round = 0; round < kRounds; ++round) {
                const int32_t value = t * 100000 + round;
                x.TS_SetVSAValue(handle, round, value);
                x.TS_SetConfValue(handle, round, -value);
                if (x.TS_GetVSAValue(handle, round) != value || x.TS_GetConfValue(handle, round) != -value)
                    problem = "a stored value came back changed";
                x.IncRefCount();
                ids[static_cast<std::size_t>(t)].push_back(x.GetUniqueID());
                x.DecRefCount();
                if (x.SignFilter(3) != 3 || x.CalcVolumeColor(1, 2, 3, 5, 4) != 1) problem = "a pure service";
                if (x.GetCurrentTimeUTC() <= 0) problem = "the UTC seconds";
                // The text stays this thread's until its next call, whatever
                // the other threads do meanwhile.
                const char* text = x.GetCurrentUTCStr();
                const std::string copy = text;
                if (copy.size() != 25 || copy.back() != 'Z') problem = "the UTC text " + copy;
                std::this_thread::yield();
                x.TS_GetVSAValue(handle, 0);  // no text-giving call: the buffer is untouched
                if (copy != text) problem = "another thread overwrote this thread's text";
                text_of[static_cast<std::size_t>(t)] = text;
                x.DebugPrint("thread");
                int32_t type = 0, p1 = 0, p2 = 0, p3 = 0, when = 0;
                MqlStr desc{0, nullptr};
                if (x.GetFromQueue(987654, &type, &p1, &p2, &p3, &when, &desc) != -1) problem = "an unknown queue";
                if (round % 50 == 0) {
                    int32_t res = 0;
                    const int32_t hook = x.SubclassWindow(0, &res);  // no window: refused
                    if (hook > 0) x.UnsubclassWindow(hook);
                    x.IsDialogRunning();
                    if (t % 4 == 0) {
                        x.StartDialog();
                        x.ShowDialog(0, "Barsight;SOS3;");
                        x.HideDialog();
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    x.KillDialog();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(problems[static_cast<std::size_t>(t)], "") << "thread " << t;
    EXPECT_EQ(x.GetRefCount(), ref_start) << "every increment met its decrement";
    std::set<int32_t> all;
    for (const auto& list : ids) all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kRounds)) << "each identifier handed out once";
    std::set<const char*> buffers(text_of.begin(), text_of.end());
    EXPECT_EQ(buffers.size(), static_cast<std::size_t>(kThreads)) << "each thread has a text buffer of its own";
}

}  // namespace
