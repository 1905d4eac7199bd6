// Tooltip capture: a window with a real tooltip control on its own UI thread
// (Windows, under Wine), or the stand-in window system (posix); the window is
// registered from the test's thread, as a trading client does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "helpwindow/hook_manager.h"
#include "platform/debug_output.h"
#include "platform/window_hooks.h"
#include "services/globals.h"

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#else
#include "standin/window_system.h"
#endif

namespace {

namespace hooks = barsight::hooks;

// A thread that owns the windows and runs calls for the test, synchronously.
class UiThread {
public:
    UiThread() : thread_([this] { loop(); }) {}
    ~UiThread() {
        run([this] { stop_ = true; });
        thread_.join();
    }
    void run(const std::function<void()>& call) {
        auto task = std::make_shared<std::packaged_task<void()>>(call);
        std::future<void> done = task->get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(task);
        }
        wake_.notify_all();
        done.get();
    }

private:
    void loop() {
        while (!stop_) {
            std::shared_ptr<std::packaged_task<void()>> task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return !tasks_.empty(); });
                task = tasks_.front();
                tasks_.pop_front();
            }
            (*task)();
#if defined(_WIN32)
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
#endif
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<std::packaged_task<void()>>> tasks_;
    bool stop_ = false;
    std::thread thread_;
};

// A window with a tooltip control, both owned by the UI thread.
class TipWindow {
public:
    explicit TipWindow(UiThread& ui) : ui_(ui) {
        ui_.run([this] { create(); });
    }
    ~TipWindow() {
        ui_.run([this] { destroy(); });
    }
    int32_t handle() const { return static_cast<int32_t>(owner_); }
    // Shows a tip with this text: the tooltip notifies its owner (TTN_SHOW).
    void show(const std::u16string& text) {
        ui_.run([this, text] { show_on_ui_thread(text); });
    }

private:
#if defined(_WIN32)
    void create() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        owner_ = reinterpret_cast<intptr_t>(CreateWindowExW(
            0, L"STATIC", L"chart", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr));
        tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               reinterpret_cast<HWND>(owner_), nullptr, nullptr, nullptr);
        SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 4000);
        tool_ = TOOLINFOW{};
        tool_.cbSize = sizeof tool_;
        tool_.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_IDISHWND;
        tool_.hwnd = reinterpret_cast<HWND>(owner_);
        tool_.uId = static_cast<UINT_PTR>(owner_);
        tool_.lpszText = const_cast<wchar_t*>(L"start");
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
    }
    void destroy() {
        DestroyWindow(tip_);
        DestroyWindow(reinterpret_cast<HWND>(owner_));
    }
    void show_on_ui_thread(const std::u16string& text) {
        // A GUI thread takes messages from its queue all the time; Wine's
        // user32 learns of hooks set from another thread when it does, so
        // take one first (a real host's thread does this anyway).
        MSG msg;
        PostMessageW(reinterpret_cast<HWND>(owner_), WM_NULL, 0, 0);
        if (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        std::wstring w(text.begin(), text.end());
        tool_.lpszText = &w[0];
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool_));
        SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(10, 10));
        SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
        SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool_));
    }
    HWND tip_ = nullptr;
    TOOLINFOW tool_{};
#else
    void create() {
        owner_ = platform::fake::create_window("chart");
        tip_ = platform::fake::create_window("");
    }
    void destroy() {
        platform::fake::destroy_window(tip_);
        platform::fake::destroy_window(owner_);
    }
    void show_on_ui_thread(const std::u16string& text) {
        platform::fake::set_window_text(tip_, platform::utf8_from_utf16(text.c_str()));
        platform::fake::send_notify(owner_, platform::fake::kNotify, platform::fake::kTooltipShow,
                                    tip_, owner_);
    }
    intptr_t tip_ = 0;
#endif
    UiThread& ui_;
    intptr_t owner_ = 0;
};

struct Taken {
    int32_t code = 99, type = 99, p1 = 99, p2 = 99, p3 = 99, time = 99;
    std::string text;
    int32_t length = -99;
};

Taken take(int32_t handle) {
    Taken t;
    MqlStr desc{-99, nullptr};
    t.code = hooks::get_from_queue(handle, &t.type, &t.p1, &t.p2, &t.p3, &t.time, &desc);
    t.length = desc.length;
    if (desc.text != nullptr) t.text = desc.text;
    return t;
}

std::mutex g_trace_mutex;
std::vector<std::string> g_trace;
void on_trace(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_trace_mutex);
    g_trace.push_back(line);
}

// The manager's trace lines are shown when a test fails.
class TooltipHook : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_trace_mutex);
        g_trace.clear();
        barsight::set_trace_hook_for_testing(&on_trace);
    }
    void TearDown() override {
        barsight::set_trace_hook_for_testing(nullptr);
        if (!HasFailure()) return;
        std::lock_guard<std::mutex> lock(g_trace_mutex);
        for (const std::string& line : g_trace) std::fprintf(stderr, "trace: %s\n", line.c_str());
    }
    UiThread ui;
};

TEST_F(TooltipHook, TipsArriveOldestFirst) {
    TipWindow window(ui);
    int32_t res = 0;
    const int32_t handle = hooks::subclass_window(window.handle(), &res);
    ASSERT_GE(handle, 1);
    EXPECT_EQ(res, handle);

    Taken empty = take(handle);
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.type, 0);
    EXPECT_EQ(empty.p1 | empty.p2 | empty.p3 | empty.time, 0);
    EXPECT_EQ(empty.length, 0);
    EXPECT_EQ(empty.text, "");

    window.show(u"Volume above average");
    window.show(u"No demand");
    for (const char* expected : {"Volume above average", "No demand"}) {
        const Taken t = take(handle);
        EXPECT_EQ(t.code, 1);
        EXPECT_EQ(t.type, barsight::kTooltipShow);  // TTN_SHOW = TTN_FIRST (-520) - 1
        EXPECT_EQ(t.p1 | t.p2 | t.p3 | t.time, 0);
        EXPECT_EQ(t.text, expected);
        EXPECT_EQ(t.length, static_cast<int32_t>(std::strlen(expected)));
    }
    EXPECT_EQ(take(handle).code, 0);
    EXPECT_EQ(hooks::unsubclass_window(handle), 0);
}

TEST_F(TooltipHook, LongShortAndUnconvertibleTexts) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);  // null res
    ASSERT_GE(handle, 1);
    window.show(std::u16string(200, u'w'));
    Taken t = take(handle);
    EXPECT_EQ(t.code, 1);
    EXPECT_EQ(t.text, std::string(161, 'w'));
    EXPECT_EQ(t.length, 161);

    // One character: -1 with the event type, and the event is gone; desc untouched.
    window.show(u"x");
    MqlStr desc{7, const_cast<char*>("kept")};
    int32_t type = 0, p1 = 9, p2 = 9, p3 = 9, time = 9;
    EXPECT_EQ(hooks::get_from_queue(handle, &type, &p1, &p2, &p3, &time, &desc), -1);
    EXPECT_EQ(type, barsight::kTooltipShow);
    EXPECT_EQ(p1 | p2 | p3 | time, 0);
    EXPECT_EQ(desc.length, 7);
    EXPECT_STREQ(desc.text, "kept");
    EXPECT_EQ(take(handle).code, 0);

    // A text the 8-bit conversion cannot hold arrives empty, its length 0.
    window.show(u"price \u20ac 12");
    t = take(handle);
    EXPECT_EQ(t.code, 1);
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(t.length, 0);
    window.show(u"caf\u00e9");
    t = take(handle);
    EXPECT_EQ(t.text, "caf\xe9");
    EXPECT_EQ(t.length, 4);

    // Null out-pointers are never written.
    window.show(u"null pointers");
    EXPECT_EQ(hooks::get_from_queue(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(hooks::get_from_queue(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    hooks::unsubclass_window(handle);
}

// A window that cannot be hooked gives back the handle it was numbered
// with: handles count up, so the refused one sits between two good ones and
// is no registration afterwards (not taken from, not released again).
TEST_F(TooltipHook, RefusedWindowGivesItsHandleBack) {
    TipWindow window(ui);
    const int32_t before = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(before, 1);
    int32_t res = 5;
    EXPECT_EQ(hooks::subclass_window(0, &res), -3);  // numbered before + 1, then refused
    EXPECT_EQ(res, -1);
    const int32_t after = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_EQ(after, before + 2);
    EXPECT_EQ(take(before + 1).code, -1);
    EXPECT_EQ(hooks::unsubclass_window(before + 1), -1);
    window.show(u"Upthrust");
    for (int32_t h : {before, after}) {
        EXPECT_EQ(take(h).text, "Upthrust") << h;
        EXPECT_EQ(hooks::unsubclass_window(h), 0) << h;
    }
}

TEST_F(TooltipHook, TwoRegistrationsEachReceiveEveryTip) {
    TipWindow window(ui);
    const int32_t a = hooks::subclass_window(window.handle(), nullptr);
    const int32_t b = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(a, 1);
    ASSERT_GE(b, 1);
    ASSERT_NE(a, b);
    window.show(u"Upthrust");
    window.show(u"Test");
    for (int32_t h : {a, b}) {
        EXPECT_EQ(take(h).text, "Upthrust");
        EXPECT_EQ(take(h).text, "Test");
        EXPECT_EQ(take(h).code, 0);
    }
    EXPECT_EQ(hooks::unsubclass_window(a), 0);
    window.show(u"Only b");
    EXPECT_EQ(take(a).code, -1);  // released handle
    EXPECT_EQ(take(b).text, "Only b");
    EXPECT_EQ(hooks::unsubclass_window(b), 0);
    window.show(u"Nobody");
    EXPECT_EQ(take(b).code, -1);
    EXPECT_EQ(hooks::unsubclass_window(b), -1);
}

// Window handles travel as 32-bit ints and are widened by sign extension:
// a handle of 0x80000000 or more keeps its meaning in a 64-bit process.
TEST(WindowHandles, WidenedBySignExtension) {
    struct Case {
        uint32_t sent;      // the 32 bits the client passes
        int64_t expected;   // the window as the 64-bit library uses it
    };
    const Case cases[] = {
        {0x00010000u, 0x10000},
        {0x7FFFFFFFu, 0x7FFFFFFF},
        {0x80000000u, -0x80000000LL},       // 0xFFFFFFFF80000000
        {0x800A0B0Cu, -0x7FF5F4F4LL},       // 0xFFFFFFFF800A0B0C
        {0xFFFFFFFEu, -2},
    };
    for (const Case& c : cases) {
        const intptr_t window = barsight::hooks::window_from_client(static_cast<int32_t>(c.sent));
        EXPECT_EQ(static_cast<int64_t>(window), sizeof(intptr_t) == 8 ? c.expected : static_cast<int32_t>(c.sent))
            << std::hex << c.sent;
        EXPECT_EQ(static_cast<uint32_t>(window), c.sent) << "the low 32 bits are the handle";
    }
}

TEST_F(TooltipHook, BadHandlesAndWindows) {
    int32_t res = 5;
    EXPECT_EQ(hooks::subclass_window(0x7ffe1230, &res), -3);  // no such window
    EXPECT_EQ(res, -1);
    res = 5;
    EXPECT_EQ(hooks::subclass_window(0, &res), -3);
    EXPECT_EQ(res, -1);
    for (int32_t h : {0, -1, 123456789, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(take(h).code, -1) << h;
        EXPECT_EQ(hooks::unsubclass_window(h), -1) << h;
    }
    MqlStr desc{3, nullptr};
    int32_t type = 77;
    EXPECT_EQ(hooks::get_from_queue(424242, &type, nullptr, nullptr, nullptr, nullptr, &desc), -1);
    EXPECT_EQ(type, 77);  // nothing written for a dead handle
    EXPECT_EQ(desc.length, 3);
}

TEST_F(TooltipHook, KillSubClassingChangesNothing) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(handle, 1);
    hooks::kill_subclassing();
    window.show(u"Still here");
    EXPECT_EQ(take(handle).text, "Still here");
    hooks::unsubclass_window(handle);
}

TEST_F(TooltipHook, UnsubclassKeepsAWaitingQuitRequest) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(handle, 1);
#if defined(_WIN32)
    PostQuitMessage(7);
    EXPECT_EQ(hooks::unsubclass_window(handle), 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
#else
    platform::fake::post_message(0x0400, 1);
    platform::fake::post_message(platform::fake::kQuit, 7);
    const int before = platform::fake::dispatched_count();
    EXPECT_EQ(hooks::unsubclass_window(handle), 0);
    EXPECT_EQ(platform::fake::dispatched_count(), before + 1);
    uint32_t message = 0;
    uintptr_t code = 0;
    ASSERT_TRUE(platform::fake::peek_message(&message, &code));
    EXPECT_EQ(message, platform::fake::kQuit);
    EXPECT_EQ(code, 7u);
#endif
}

#if defined(_WIN32)
// The real hook under Wine: only WM_NOTIFY with TTN_SHOW, with hook code 0
// (HC_ACTION) or 3, is captured.
TEST_F(TooltipHook, OtherMessagesAndHookCodesQueueNothing) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(handle, 1);
    ui.run([&] {
        HWND owner = reinterpret_cast<HWND>(static_cast<intptr_t>(window.handle()));
        HWND tip = CreateWindowExW(0, L"STATIC", L"tip text", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, nullptr, nullptr);
        // Take a message first, as a GUI thread does, so Wine's user32 sees
        // the hook set from another thread.
        MSG msg;
        PostMessageW(owner, WM_NULL, 0, 0);
        if (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        NMHDR show{tip, 7, static_cast<UINT>(TTN_SHOW)};
        NMHDR pop{tip, 7, static_cast<UINT>(TTN_POP)};
        SendMessageW(owner, WM_COMMAND, 7, reinterpret_cast<LPARAM>(&show));  // not WM_NOTIFY
        SendMessageW(owner, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&pop));    // not TTN_SHOW
        SendMessageW(owner, WM_NOTIFY, 7, 0);                                  // no header
        CWPSTRUCT cwp{reinterpret_cast<LPARAM>(&show), 7, WM_NOTIFY, owner};
        platform::call_tooltip_hook_for_testing(1, 0, &cwp);   // hook code 1
        platform::call_tooltip_hook_for_testing(-1, 0, &cwp);  // negative
        platform::call_tooltip_hook_for_testing(3, 0, &cwp);   // code 3: captured
        SendMessageW(owner, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&show));  // captured
        DestroyWindow(tip);
    });
    EXPECT_EQ(take(handle).text, "tip text");  // hook code 3
    EXPECT_EQ(take(handle).text, "tip text");  // the real send
    EXPECT_EQ(take(handle).code, 0);
    hooks::unsubclass_window(handle);
}
#else
TEST_F(TooltipHook, OtherMessagesAndHookCodesQueueNothing) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(handle, 1);
    namespace fake = platform::fake;
    ui.run([&] {
        const intptr_t owner = window.handle();
        const intptr_t tip = fake::create_window("tip text");
        fake::send_notify(owner, 0x0111, fake::kTooltipShow, tip, owner);      // not WM_NOTIFY
        fake::send_notify(owner, fake::kNotify, -520, tip, owner);             // not TTN_SHOW
        fake::send_notify(owner, fake::kNotify, fake::kTooltipShow, tip, owner, 1);   // code 1
        fake::send_notify(owner, fake::kNotify, fake::kTooltipShow, tip, owner, -1);  // negative
        fake::send_notify(owner, fake::kNotify, fake::kTooltipShow, tip, owner, 3);   // code 3
        // Another window of the same thread: captured as well.
        const intptr_t other = fake::create_window("other");
        fake::send_notify(other, fake::kNotify, fake::kTooltipShow, tip, other);
        fake::destroy_window(other);
        fake::destroy_window(tip);
    });
    EXPECT_EQ(take(handle).text, "tip text");  // hook code 3
    EXPECT_EQ(take(handle).text, "tip text");  // the other window
    EXPECT_EQ(take(handle).code, 0);
    hooks::unsubclass_window(handle);
}
#endif

// The hook appends thousands of events while the client drains: nothing is
// lost or duplicated, and the client never waits for the hook.
TEST_F(TooltipHook, AppendWhileDraining) {
    TipWindow window(ui);
    const int32_t handle = hooks::subclass_window(window.handle(), nullptr);
    ASSERT_GE(handle, 1);
    constexpr int kEvents = 2000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < kEvents; ++i)
            window.show(u"tip 0" + platform::utf16_from_utf8(std::to_string(i)));
        done = true;
    });
    std::vector<std::string> got;
    while (!done || static_cast<int>(got.size()) < kEvents) {
        const Taken t = take(handle);
        if (t.code == 1) got.push_back(t.text);
        else if (done && t.code == 0 && static_cast<int>(got.size()) >= kEvents) break;
        else std::this_thread::yield();
    }
    producer.join();
    ASSERT_EQ(static_cast<int>(got.size()), kEvents);
    for (int i = 0; i < kEvents; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], "tip 0" + std::to_string(i));
    EXPECT_EQ(take(handle).code, 0);
    hooks::unsubclass_window(handle);
}

TEST(EventQueue, TryTakeNeverWaits) {
    barsight::EventQueue queue;
    barsight::EventQueueData event;
    EXPECT_FALSE(queue.try_take(&event));
    queue.append(barsight::EventQueueData(1, barsight::kTooltipShow, 0, 0, 5, u"a"));
    queue.append(barsight::EventQueueData(2, barsight::kTooltipShow, 0, 0, 6));
    ASSERT_TRUE(queue.try_take(&event));
    EXPECT_EQ(event._hWnd, 1);
    EXPECT_EQ(event.mes, u"a");
    ASSERT_TRUE(queue.try_take(&event));
    EXPECT_EQ(event._hWnd, 2);
    EXPECT_EQ(event.mes, u"");
    EXPECT_FALSE(queue.try_take(&event));
    // While another thread holds the queue (the hook appending), the take
    // answers "nothing" at once, even with an event waiting.
    queue.append(barsight::EventQueueData(1, barsight::kTooltipShow, 0, 0, 5, u"held"));
    std::mutex step;
    std::unique_lock<std::mutex> hold_step(step);
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        const std::unique_lock<std::mutex> held = queue.hold_for_testing();
        holding.store(true);
        const std::lock_guard<std::mutex> wait(step);  // until the client has tried
    });
    while (!holding.load()) std::this_thread::yield();
    EXPECT_FALSE(queue.try_take(&event));
    hold_step.unlock();
    holder.join();
    ASSERT_TRUE(queue.try_take(&event));
    EXPECT_EQ(event.mes, u"held");
}


}  // namespace
