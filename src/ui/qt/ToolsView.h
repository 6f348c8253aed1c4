#pragma once

#include "dialog/IToolsView.h"

class QWidget;

// The tools' dialogs on Qt: the desktop's file manager, the save-file chooser, the
// "通信参数..." form and the self-test dialog, each modal over the main window.
class ToolsView : public IToolsView {
public:
    explicit ToolsView(QWidget* parent) : m_parent(parent) {}

    bool OpenFolder(const std::string& path) override;
    std::string AskSaveFileName(const std::string& suggestedName) override;
    bool
    AskLinkParameters(LinkParameterTexts& texts,
                      const std::function<std::string(const LinkParameterTexts&)>& check) override;
    void ShowSelfTest(MainDialog& dialog) override;
    void ShowBoardSearch(WindowTools& tools) override;

private:
    QWidget* m_parent;
};
