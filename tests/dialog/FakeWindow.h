#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dialog/FakeDialogView.h"
#include "dialog/IniSettingsStore.h"
#include "dialog/InlineJobQueue.h"
#include "dialog/MainDlgIds.h"
#include "dialog/WindowTools.h"

// Plays the operator in the tools' own dialogs: each answer is taken from the front.
struct FakeToolsView : IToolsView {
    std::vector<LinkParameterTexts> typed; // what the operator types, try after try
    std::vector<std::string> formErrors;   // what the form showed
    std::string saveAs;
    bool folderOpens = true;
    std::vector<std::string> openedFolders;
    std::vector<std::string> messages; // "title: text" of each message box
    bool confirms = true;
    int32_t confirmations = 0;
    std::string opened; // the tools' dialogs shown, one letter each

    bool OpenFolder(const std::string& path) override {
        openedFolders.push_back(path);
        return folderOpens;
    }
    std::string AskSaveFileName(const std::string&) override { return saveAs; }
    void ShowMessage(const std::string& title, const std::string& text) override {
        messages.push_back(title + ": " + text);
    }
    bool AskConfirmation(const std::string&, const std::string&) override {
        ++confirmations;
        return confirms;
    }
    void ShowSelfTest(MainDialog&, bool&) override { opened += 'T'; }
    void ShowBoardSearch(WindowTools&) override { opened += 'S'; }
    bool
    AskLinkParameters(LinkParameterTexts& texts,
                      const std::function<std::string(const LinkParameterTexts&)>& check) override {
        for (const LinkParameterTexts& attempt : typed) {
            const std::string error = check(attempt);
            if (error.empty()) {
                texts = attempt;
                return true;
            }
            formErrors.push_back(error);
        }
        return false; // the operator gave up
    }
};

// One window with its tools and its worker inline, on a settings file and a log folder that
// outlive it (none when empty).
struct FakeWindow {
    FakeDialogView view;
    FakeToolsView tools;
    IniSettingsStore store;
    MainDialog dialog{view,
                      [] {
                          return std::vector<std::string>{"COM3", "COM4"};
                      },
                      std::make_unique<InlineJobQueue>()};
    WindowTools windowTools;

    explicit FakeWindow(const std::filesystem::path& settings = {},
                        const std::filesystem::path& logs = {})
        : store(settings.u8string()),
          windowTools(dialog, view, tools, store, logs.empty() ? "" : logs.u8string()) {
        view.dialog = &dialog;
        dialog.SetTools(&windowTools);
        store.Load();
        dialog.OnInitDialog();
        view.Pump();
    }
    void Menu(int32_t command) {
        dialog.OnMenuCommand(command);
        view.Pump();
    }
    std::string LastSent() { return view.Lines(IDC_SEND_LOG).back(); }
};
