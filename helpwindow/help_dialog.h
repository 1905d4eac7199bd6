// VSAHelpDialog: the indicator help window. Built, owned and run by the
// dialog thread; other threads use only the four synchronous operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/help_window.h"

namespace barsight {

class VSAHelpDialog : public platform::HelpWindowEvents {
public:
    // Builds the window on the calling thread, reads its position from the
    // settings file beside the library and writes the construction lines to
    // the debugger output. Throws when the window cannot be built.
    VSAHelpDialog();
    ~VSAHelpDialog() override;
    VSAHelpDialog(const VSAHelpDialog&) = delete;
    VSAHelpDialog& operator=(const VSAHelpDialog&) = delete;

    // Any thread: run on the dialog thread and wait. Throw when the window
    // no longer exists.
    void SetNavigation(const std::string& url);
    void ShowDisplay();
    void HideDisplay();
    void KillDisplay();

    platform::HelpWindow& window() { return *window_; }
    const std::string& config_path() const { return config_path_; }
    // The base address of the help pages, resolved when the window was built.
    const std::string& help_base() const { return help_base_; }

    // Dialog thread only.
    void Navigate(const std::string& url);
    void MyShow();
    void MyHide();
    void MyClose();

private:
    void on_moved() override;
    bool on_closing() override;
    void on_closed() override;
    void SaveLocation();

    std::string myPath;
    std::string config_path_;
    std::string help_base_;
    std::unique_ptr<platform::HelpWindow> window_;
    bool trueDie = false;
    bool subscribed_ = false;  // SaveLocation listens from the end of construction
    int32_t currentX = 0;
    int32_t currentY = 0;
};

}  // namespace barsight
