#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dialog/IToolsView.h"
#include "dialog/MenuEntry.h"
#include "dialog/PaneTextExport.h"
#include "dialog/WindowSettings.h"

class IMainDialogView;
class ISettingsStore;
class MainDialog;
class SessionLog;

// The window's tools beyond the panes: remembered settings (loaded at start-up, saved when
// the window closes, "恢复默认设置"), "通信参数...", the session log file that receives every
// pane line, "打开日志文件夹" and "保存日志...". MainDialog hands it the start, the close,
// every pane line and the menu commands it does not know.
class WindowTools {
public:
    // Menu commands, after IDM_ABOUTBOX; multiples of 16 as Windows' system menu requires.
    static constexpr int32_t IDM_OPEN_LOG_FOLDER = 0x0020;
    static constexpr int32_t IDM_SAVE_LOG = 0x0030;
    static constexpr int32_t IDM_RESTORE_DEFAULTS = 0x0040;
    static constexpr int32_t IDM_LINK_PARAMETERS = 0x0050;
    static constexpr int32_t IDM_SELF_TEST = 0x0060;
    static constexpr int32_t IDM_FIND_BOARD = 0x0070;

    // Every reference must outlive this object. logFolder: the session log's folder
    // (UTF-8); empty: no session log file.
    WindowTools(MainDialog& dialog, IMainDialogView& view, IToolsView& tools, ISettingsStore& store,
                std::string logFolder);
    // Writes what the session log still holds.
    ~WindowTools();
    WindowTools(const WindowTools&) = delete;
    WindowTools& operator=(const WindowTools&) = delete;

    // At the end of the window's start-up: shows the remembered settings and starts the
    // session log.
    void OnInitDialog();
    // When the window closes, before it disconnects: saves the settings shown now.
    void OnClose();
    // A line has been added to the send pane (isSend) or the receive pane.
    void OnPaneLine(const std::string& line, bool isSend);

    // The tools in menu order; an entry with command 0 is a separator. "恢复默认设置" stands
    // last, apart from the others.
    std::vector<MenuEntry> MenuEntries() const;
    // Runs a command of MenuEntries(); false for any other command. A tool that cannot start
    // now says why in the send pane and in a message box.
    bool OnMenuCommand(int32_t command);
    // Why the tool of command cannot start now; "" when it can.
    std::string Refusal(int32_t command);

    MainDialog& Dialog() { return m_dialog; }
    // What the window shows now, as it would be saved.
    WindowSettings Collect();
    // Shows settings in the controls and gives the link parameters to the device, as if
    // the operator had chosen each value.
    void Apply(const WindowSettings& settings);
    // The answer of the link parameter form's check: "" when all three are acceptable
    // (values then set), otherwise what is wrong.
    static std::string CheckLinkParameters(const LinkParameterTexts& texts, int32_t& receiveTimeout,
                                           int32_t& retryCount, int32_t& heartbeatTimeout);

private:
    void OpenLogFolder();
    void SaveLog();
    void RestoreDefaults();
    void EditLinkParameters();
    void Log(const std::string& line);
    std::string TitleOf(int32_t command) const;

    MainDialog& m_dialog;
    IMainDialogView& m_view;
    IToolsView& m_tools;
    ISettingsStore& m_store;
    std::string m_logFolder;
    std::unique_ptr<SessionLog> m_log;
    bool m_selfTestLoopback = false; // the self-test's loopback option, remembered
    // The lines each pane holds, with their times, for "保存日志..." (send, receive).
    std::deque<PaneLine> m_paneLines[2];
};
