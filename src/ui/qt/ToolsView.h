#pragma once

#include "dialog/IToolsView.h"

class QWidget;

// The tools' dialogs on Qt: the desktop's file manager, the save-file chooser, the
// "通信参数..." form, message and confirmation boxes and the self-test and board search
// dialogs, each modal over the main window.
class ToolsView : public IToolsView {
public:
    explicit ToolsView(QWidget* parent) : m_parent(parent) {}

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
    QWidget* m_parent;
};
