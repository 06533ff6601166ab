#pragma once

#include "session/View.h"

#include <array>
#include <string>
#include <vector>

// A main window in memory: keeps what the core asked it to show.
//   FakeView view;
//   ... view.caption == " Tamvi", view.captions (every caption set, in order),
//   ... view.modeCaption == "Mode: ASC II", view.buttons[3].visible, view.messages.size() == 1
class FakeView final : public View
{
public:
    struct QuickButton {
        bool visible = true;
        std::string caption = "Snel 1";
    };

    std::string caption;
    std::vector<std::string> captions;
    std::string modeCaption;
    std::string holdCaption;
    std::array<QuickButton, 8> buttons;
    std::vector<std::string> messages;    // every message box, in order
    std::vector<std::string> warnings;    // every warning box, in order
    std::vector<std::string> logFailures; // every log failure text shown, in order
    bool logFailureShown = false;

    void SetCaption(const std::string &text) override
    {
        caption = text;
        captions.push_back(text);
    }
    void SetModeCaption(const std::string &text) override { modeCaption = text; }
    void SetHoldCaption(const std::string &text) override { holdCaption = text; }
    void SetQuickButton(int index, bool visible, const std::string &text) override
    {
        buttons.at(index) = {visible, text};
    }
    void ShowMessage(const std::string &text) override { messages.push_back(text); }
    void ShowWarning(const std::string &text) override { warnings.push_back(text); }
    void ShowLogFailure(const std::string &text) override
    {
        logFailures.push_back(text);
        logFailureShown = true;
    }
    void EndLogFailure() override { logFailureShown = false; }
};
