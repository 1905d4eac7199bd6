// The posix stand-in for the help window: no pixels, but the same state,
// the same owning thread and the same synchronous calls.
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/help_window.h"

namespace platform {

namespace {

// A desktop of 1280 x 1024 with a 40-pixel taskbar at the bottom: the
// working area starts at the screen's origin.
constexpr int kScreenWidth = 1280, kScreenHeight = 1024, kWindowWidth = 300, kWindowHeight = 500;

// A call waiting for the owning thread.
struct Task {
    std::function<void()> call;
    std::promise<void> done;
};

class HeadlessHelpWindow : public HelpWindow {
public:
    HeadlessHelpWindow(HelpWindowEvents* events, const std::string& first_page)
        : events_(events), owner_(std::this_thread::get_id()) {
        construction_step();
        state_.exists = true;
        state_.visible = false;
        state_.page = first_page;
        state_.browser = true;
        state_.class_name = "VSAHelpDialog";
        state_.title = "Indicator Help";
        state_.topmost = state_.tool_window = state_.layered = true;
        state_.client_width = 292;
        state_.client_height = 466;
        state_.on_owner_thread = true;
        construction_step();
        count_help_window(true, true);
    }
    ~HeadlessHelpWindow() override {
        count_help_window(false, std::this_thread::get_id() == owner_);
    }

    void invoke(const std::function<void()>& call) override {
        if (std::this_thread::get_id() == owner_) {
            if (!exists()) throw std::runtime_error("the help window no longer exists");
            call();
            return;
        }
        auto task = std::make_shared<Task>();
        task->call = call;
        std::future<void> done = task->done.get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!state_.exists || shut_down_)
                throw std::runtime_error("the help window no longer exists");
            queue_.push_back(task);
        }
        wake_.notify_all();
        done.get();  // waits; passes the call's exception on
    }

    void place_in_work_area(int x, int y) override { set_position(x, y); }
    void center_on_screen() override {
        set_position((kScreenWidth - kWindowWidth) / 2, (kScreenHeight - kWindowHeight) / 2);
    }
    void set_opacity(double opacity) override {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.opacity = opacity;
    }
    void show() override { set_visible(true); }
    void hide() override { set_visible(false); }
    void navigate(const std::string& url) override {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.page = url;
        state_.visible_at_navigate = state_.visible;
    }
    void screen_position(int* x, int* y) override {
        std::lock_guard<std::mutex> lock(mutex_);
        *x = state_.x;
        *y = state_.y;
    }
    void close() override {
        if (!exists() || events_->on_closing()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state_.exists = false;
            state_.visible = false;
        }
        events_->on_closed();
    }
    void run_message_loop() override {
        set_visible(true);  // entering the loop shows the main window
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            while (!queue_.empty()) {
                auto task = queue_.front();
                queue_.pop_front();
                lock.unlock();
                try {
                    task->call();
                    task->done.set_value();
                } catch (...) {
                    task->done.set_exception(std::current_exception());  // to the caller
                }
                lock.lock();
            }
        }
    }
    void end_loop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        wake_.notify_all();
    }
    void shut_down_dispatcher() override {
        std::deque<std::shared_ptr<Task>> left;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            shut_down_ = true;
            left.swap(queue_);
        }
        for (auto& task : left)  // each fails: the window is gone
            task->done.set_exception(
                std::make_exception_ptr(std::runtime_error("the help window no longer exists")));
    }

    HelpWindowState state() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return state_;
    }
    void user_close() override {
        invoke([this] { close(); });
    }
    void user_move(int x, int y) override {
        invoke([this, x, y] { set_position(x, y); });
    }

private:
    bool exists() {
        std::lock_guard<std::mutex> lock(mutex_);
        return state_.exists;
    }
    void set_visible(bool visible) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.visible = visible && state_.exists;
    }
    void set_position(int x, int y) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_.x == x && state_.y == y) return;
            state_.x = x;
            state_.y = y;
        }
        events_->on_moved();
    }

    HelpWindowEvents* events_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Task>> queue_;
    HelpWindowState state_;
    bool quit_ = false;
    bool shut_down_ = false;
};

}  // namespace

std::unique_ptr<HelpWindow> HelpWindow::create(HelpWindowEvents* events,
                                               const std::string& first_page) {
    return std::make_unique<HeadlessHelpWindow>(events, first_page);
}

}  // namespace platform
