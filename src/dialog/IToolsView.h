#pragma once

#include <functional>
#include <string>

class MainDialog;
class WindowTools;

// The three texts of "通信参数...": response time-out (ms), retry count, heartbeat
// time-out (ms), as the operator typed them.
struct LinkParameterTexts {
    std::string receiveTimeout;
    std::string retryCount;
    std::string heartbeatTimeout;
};

// What WindowTools asks of a window beyond IMainDialogView: the desktop's file manager, a
// file chooser and the small "通信参数..." form. Texts are UTF-8; every call comes on the
// window's thread and may run a modal loop.
class IToolsView {
public:
    virtual ~IToolsView() = default;

    // Shows the folder in the desktop's file manager; false when that failed.
    virtual bool OpenFolder(const std::string& path) = 0;
    // Asks where to save, offering suggestedName; the chosen path, or "" when cancelled.
    virtual std::string AskSaveFileName(const std::string& suggestedName) = 0;
    // Shows the link parameter form filled with texts. On OK it calls check with what was
    // typed: a non-empty answer is shown in the form, which stays open; an empty one
    // closes it, with texts then holding what was typed. False when cancelled.
    virtual bool
    AskLinkParameters(LinkParameterTexts& texts,
                      const std::function<std::string(const LinkParameterTexts&)>& check) = 0;
    // Shows a message box with the title, the text and one OK button; returns when closed.
    virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
    // Asks a question with "确定" and "取消"; true only when the operator confirms.
    virtual bool AskConfirmation(const std::string& title, const std::string& text) = 0;
    // Shows the board self-test dialog modally for the dialog's connected device (a
    // SelfTestSession drives it, with loopbackChoice the loopback option the window
    // remembers); returns when it is closed.
    virtual void ShowSelfTest(MainDialog& dialog, bool& loopbackChoice) = 0;
    // Shows the board search dialog modally (a BoardSearchSession on tools drives it).
    virtual void ShowBoardSearch(WindowTools& tools) = 0;
};
