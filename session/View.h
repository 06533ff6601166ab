#pragma once

#include <string>

// What the core asks the main window to show. Texts are byte strings in Windows-1252.
class View
{
public:
    virtual ~View() = default;
    virtual void SetCaption(const std::string &text) = 0;
    virtual void SetModeCaption(const std::string &text) = 0;
    virtual void SetHoldCaption(const std::string &text) = 0;
    virtual void SetQuickButton(int index, bool visible, const std::string &caption) = 0;
    // A message box with one OK button; returns when the user has closed it.
    virtual void ShowMessage(const std::string &text) = 0;
    // The same with a warning sign: something the user must know went wrong.
    virtual void ShowWarning(const std::string &text) = 0;
    // The log file cannot be written: shown without stopping anything, and again with a new
    // text while it lasts; EndLogFailure when a line could be written again.
    virtual void ShowLogFailure(const std::string &text) = 0;
    virtual void EndLogFailure() = 0;
    // A STATUS line the log just took: the port opened, was lost, came back. The window shows it
    // in the log view already; a station says it where its operator looks.
    virtual void ShowStatus(const std::string &) {}
};

// Where the session's words go while no window shows the run; a view that shows only some of
// them starts from it.
class NoView : public View
{
public:
    void SetCaption(const std::string &) override {}
    void SetModeCaption(const std::string &) override {}
    void SetHoldCaption(const std::string &) override {}
    void SetQuickButton(int, bool, const std::string &) override {}
    void ShowMessage(const std::string &) override {}
    void ShowWarning(const std::string &) override {}
    void ShowLogFailure(const std::string &) override {}
    void EndLogFailure() override {}
};
