#include "helpwindow/help_dialog.h"

#include <atomic>
#include <exception>
#include <string>

#include "helpwindow/help_page.h"
#include "platform/debug_output.h"
#include "platform/dialog_settings.h"
#include "platform/dynamic_library.h"
#include "services/globals.h"

namespace barsight {

namespace {

// One line, with its line end, on the debugger output (wide).
void dialog_line(const std::string& text) {
    const std::u16string wide = platform::utf16_from_utf8(text + "\n");
    platform::debug_output(wide.c_str());
}

}  // namespace

VSAHelpDialog::VSAHelpDialog() {
    dialog_line("VSA Help Dialog Constructor: START");
    try {
        myPath = platform::own_module_path();
        config_path_ = myPath + ".config";
    } catch (const std::exception& e) {
        dialog_line(std::string("Config Error: ") + e.what());
    }
    std::string refused;
    help_base_ = resolve_help_base(config_path_, platform::own_module_directory(), &refused);
    // A refused HelpBase is said once per process, not at every window.
    static std::atomic<bool> refusal_reported{false};
    if (!refused.empty() && !refusal_reported.exchange(true)) dialog_line(refused);
    const std::string first_page = default_help_page(help_base_);
    Globals::DebugMessage("Navigate " + first_page);
    window_ = platform::HelpWindow::create(this, first_page);
    platform::construction_step();
    try {
        dialog_line("Dialog: " + myPath);
        std::string error;
        if (!platform::read_dialog_position(config_path_, &currentX, &currentY, &error))
            dialog_line("Config Error: " + error);
    } catch (const std::exception& e) {
        dialog_line(std::string("Config Error: ") + e.what());
    }
    if (currentX > 0 && currentY > 0) {
        dialog_line("Set Desktop Location (" + std::to_string(currentX) + "," +
                    std::to_string(currentY) + ")");
        window_->place_in_work_area(currentX, currentY);
    } else {
        dialog_line("Dialog To Center Screen");
        window_->center_on_screen();
    }
    platform::construction_step();
    trueDie = false;
    subscribed_ = true;
    dialog_line("VSA Help Dialog Constructor: STOP");
}

VSAHelpDialog::~VSAHelpDialog() = default;

void VSAHelpDialog::SetNavigation(const std::string& url) {
    window_->invoke([this, url] { Navigate(url); });
}
void VSAHelpDialog::ShowDisplay() {
    window_->invoke([this] { MyShow(); });
}
void VSAHelpDialog::HideDisplay() {
    window_->invoke([this] { MyHide(); });
}
void VSAHelpDialog::KillDisplay() {
    window_->invoke([this] { MyClose(); });
}

void VSAHelpDialog::Navigate(const std::string& url) {
    Globals::DebugMessage("Navigate " + url);  // the address exactly as the browser gets it
    window_->navigate(url);
}

void VSAHelpDialog::MyShow() {
    if (currentX > 0 && currentY > 0) window_->place_in_work_area(currentX, currentY);
    window_->set_opacity(1.0);
    window_->show();
}

void VSAHelpDialog::MyHide() {
    window_->set_opacity(0.0);
    window_->hide();
}

void VSAHelpDialog::MyClose() {
    trueDie = true;
    window_->close();
}

void VSAHelpDialog::on_moved() {
    if (subscribed_) SaveLocation();
}

void VSAHelpDialog::on_closed() {
    if (subscribed_) SaveLocation();
}

bool VSAHelpDialog::on_closing() {
    SaveLocation();
    window_->hide();
    if (!trueDie) {
        dialog_line("Dialog Mask Close");
        return true;  // a user close only hides the window
    }
    dialog_line("Dialog Real Close");
    window_->end_loop();
    return false;
}

void VSAHelpDialog::SaveLocation() {
    // A settings file that cannot be written must neither disturb the window
    // nor stop a close: the failure only goes to the trace.
    try {
        int x = 0, y = 0;
        window_->screen_position(&x, &y);
        currentX = x;
        currentY = y;
        std::string error;
        if (!platform::write_dialog_position(config_path_, currentX, currentY, &error))
            Globals::DebugMessage("SaveLocation: " + error);
    } catch (const std::exception& e) {
        Globals::DebugMessage(std::string("SaveLocation: ") + e.what());
    }
}

}  // namespace barsight
