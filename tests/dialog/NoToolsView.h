#pragma once

#include "dialog/WindowTools.h"

// The window's tools with an operator who declines every dialog and opens nothing.
struct NoToolsView : IToolsView {
    bool OpenFolder(const std::string&) override { return false; }
    std::string AskSaveFileName(const std::string&) override { return {}; }
    bool AskLinkParameters(LinkParameterTexts&,
                           const std::function<std::string(const LinkParameterTexts&)>&) override {
        return false;
    }
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskConfirmation(const std::string&, const std::string&) override { return false; }
    void ShowSelfTest(MainDialog&, bool&) override {}
    void ShowBoardSearch(WindowTools&) override {}
};
