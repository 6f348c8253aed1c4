#pragma once

#include <windows.h>

#include "dialog/IToolsView.h"

// The tools' dialogs in plain Win32: the shell opens the log folder, the common save dialog
// asks where a log goes, and the link parameter form, the self-test and the board search
// are described dialogs, each modal over the main window.
class ToolsView : public IToolsView {
public:
    // The window the dialogs are modal over; until then they have no owner.
    void SetOwner(HWND owner) { m_owner = owner; }

    bool OpenFolder(const std::string& path) override;
    std::string AskSaveFileName(const std::string& suggestedName) override;
    bool
    AskLinkParameters(LinkParameterTexts& texts,
                      const std::function<std::string(const LinkParameterTexts&)>& check) override;
    void ShowMessage(const std::string& title, const std::string& text) override;
    bool AskConfirmation(const std::string& title, const std::string& text) override;
    void ShowSelfTest(MainDialog& dialog, bool& loopbackChoice) override;
    void ShowBoardSearch(WindowTools& tools) override;

private:
    HWND m_owner = nullptr;
};
