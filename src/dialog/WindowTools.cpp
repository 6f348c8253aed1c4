#include "dialog/WindowTools.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "dialog/DecimalText.h"
#include "dialog/IMainDialogView.h"
#include "dialog/ISettingsStore.h"
#include "dialog/MainDialog.h"
#include "dialog/MainDlgIds.h"
#include "dialog/PaneTextExport.h"
#include "dialog/SessionLog.h"
#include "dialog/UserFolders.h"

namespace {

constexpr int32_t kProtocolIds[] = {IDC_PROTO_RTU, IDC_PROTO_TCP, IDC_PROTO_55};
constexpr int32_t kTransportIds[] = {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP};

// A whole number typed into the link parameter form: blanks around digits only.
bool ParseTyped(const std::string& text, WindowSettings::Range range, int32_t& value) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    if (first == std::string::npos || last - first + 1 > 9)
        return false;
    int64_t number = 0;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + (text[i] - '0');
    }
    if (!range.Contains(number))
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

std::string NumberText(const std::string& typed) {
    return std::to_string(DecimalTextToInt(typed));
}

} // namespace

WindowTools::WindowTools(MainDialog& dialog, IMainDialogView& view, IToolsView& tools,
                         ISettingsStore& store, std::string logFolder)
    : m_dialog(dialog), m_view(view), m_tools(tools), m_store(store),
      m_logFolder(std::move(logFolder)) {}

WindowTools::~WindowTools() = default;

void WindowTools::OnInitDialog() {
    if (!m_logFolder.empty()) {
        // The report comes from the log's own thread: posting is all it may do.
        m_log = std::make_unique<SessionLog>(m_logFolder, [this](const std::string& text) {
            m_view.Post([this, text] { m_dialog.ShowLine(text, true); });
        });
        m_log->Start();
    }
    Apply(WindowSettings::Load(m_store));
}

void WindowTools::OnClose() {
    Collect().Save(m_store);
    if (!m_store.Sync())
        Log("❌ 设置未能保存");
    if (m_log)
        m_log->Close();
}

void WindowTools::OnPaneLine(const std::string& line, bool isSend) {
    if (m_log)
        m_log->Append(line, isSend);
    // Kept as long as the pane keeps its lines, at least.
    std::deque<PaneLine>& lines = m_paneLines[isSend ? 0 : 1];
    lines.push_back({std::chrono::system_clock::now(), isSend, line});
    if (lines.size() > static_cast<size_t>(MainDialog::kPaneLines + MainDialog::kPaneDropBlock))
        lines.pop_front();
}

std::vector<MenuEntry> WindowTools::MenuEntries() const {
    return {{IDM_SELF_TEST, "板卡自检..."},          {IDM_FIND_BOARD, "查找设备..."},
            {IDM_OPEN_LOG_FOLDER, "打开日志文件夹"}, {IDM_SAVE_LOG, "保存日志..."},
            {IDM_LINK_PARAMETERS, "通信参数..."},    {0, ""},
            {IDM_RESTORE_DEFAULTS, "恢复默认设置"}};
}

std::string WindowTools::TitleOf(int32_t command) const {
    for (const MenuEntry& entry : MenuEntries()) {
        if (entry.command == command && command != 0) {
            const size_t dots = entry.text.find("...");
            return dots == std::string::npos ? entry.text : entry.text.substr(0, dots);
        }
    }
    return "Vornak";
}

std::string WindowTools::Refusal(int32_t command) {
    const DeviceState state = m_dialog.Shown().state;
    // The transport selectors are locked, and the transport is taken, while a connection
    // is in use.
    const bool inUse = state == DeviceState::Connected || state == DeviceState::Offline;
    switch (command) {
    case IDM_SELF_TEST:
        // The test needs a board that answers now.
        return m_dialog.Shown().connected ? "" : "错误: 设备未连接";
    case IDM_FIND_BOARD:
        if (inUse)
            return "请先断开连接，再查找设备";
        return Collect().transport == CommType::None ? "请先选择通信方式" : "";
    case IDM_RESTORE_DEFAULTS:
        return inUse ? "请先断开连接，再恢复默认设置" : "";
    default:
        return "";
    }
}

bool WindowTools::OnMenuCommand(int32_t command) {
    if (command == 0)
        return false;
    const std::string refusal = Refusal(command);
    if (!refusal.empty()) {
        Log(refusal);
        m_tools.ShowMessage(TitleOf(command), refusal);
        return true;
    }
    switch (command) {
    case IDM_SELF_TEST:
        m_tools.ShowSelfTest(m_dialog, m_selfTestLoopback);
        return true;
    case IDM_FIND_BOARD:
        m_tools.ShowBoardSearch(*this);
        return true;
    case IDM_OPEN_LOG_FOLDER:
        OpenLogFolder();
        return true;
    case IDM_SAVE_LOG:
        SaveLog();
        return true;
    case IDM_RESTORE_DEFAULTS:
        RestoreDefaults();
        return true;
    case IDM_LINK_PARAMETERS:
        EditLinkParameters();
        return true;
    default:
        return false;
    }
}

WindowSettings WindowTools::Collect() {
    WindowSettings s;
    const DeviceConfig& config = m_dialog.Config();
    s.protocol = config.protocolType;
    s.transport = CommType::None;
    for (int32_t i = 0; i < 3; ++i) {
        if (m_view.GetCheck(kTransportIds[i]))
            s.transport = static_cast<CommType>(i + 1);
    }
    // Numbers are kept as the window uses them (a typed 300 addresses 44).
    s.address = std::to_string(DecimalTextToInt(m_view.GetText(IDC_ADDRESS_COMBO)) & 0xFF);
    // A typed path (a pseudo-terminal, /dev/serial/by-id/...) is kept as typed.
    s.serialPort = m_view.GetText(IDC_PORT_COMBO);
    s.baudRate = static_cast<uint32_t>(DecimalTextToInt(m_view.GetText(IDC_BAUD_COMBO)));
    s.dataBits = static_cast<uint32_t>(DecimalTextToInt(m_view.GetText(IDC_DATABITS_COMBO)));
    s.stopBitsIndex = m_view.GetComboSelection(IDC_STOPBITS_COMBO);
    s.parityIndex = m_view.GetComboSelection(IDC_PARITY_COMBO);
    s.tcpServer = m_view.GetText(IDC_TCP_SERVER);
    s.tcpPort = NumberText(m_view.GetText(IDC_TCP_PORT));
    s.udpLocalIp = m_view.GetText(IDC_UDP_LOCAL_IP);
    s.udpLocalPort = NumberText(m_view.GetText(IDC_UDP_LOCAL_PORT));
    s.udpRemoteIp = m_view.GetText(IDC_UDP_REMOTE_IP);
    s.udpRemotePort = NumberText(m_view.GetText(IDC_UDP_REMOTE_PORT));
    s.pollEnabled = m_view.GetCheck(IDC_POLL_ENABLE);
    s.pollInterval = NumberText(m_view.GetText(IDC_POLL_INTERVAL));
    s.receiveTimeout = config.receiveTimeout;
    s.retryCount = config.retryCount;
    s.heartbeatTimeout = config.heartbeatTimeout;
    s.selfTestLoopback = m_selfTestLoopback;
    return s;
}

void WindowTools::Apply(const WindowSettings& s) {
    // The selectors go through their own handlers, as a click would.
    const int32_t protocolId = kProtocolIds[static_cast<int32_t>(s.protocol)];
    m_view.SetCheck(protocolId, true);
    m_dialog.OnCommand(protocolId);
    if (s.transport == CommType::None) {
        for (int32_t id : kTransportIds) {
            if (m_view.GetCheck(id)) {
                m_view.SetCheck(id, false);
                m_dialog.OnCommand(id);
            }
        }
    } else {
        const int32_t transportId = kTransportIds[static_cast<int32_t>(s.transport) - 1];
        m_view.SetCheck(transportId, true);
        m_dialog.OnCommand(transportId);
    }

    m_view.SelectComboItem(IDC_ADDRESS_COMBO, m_dialog.FindComboItem(IDC_ADDRESS_COMBO, s.address));
    m_dialog.OnComboChange(IDC_ADDRESS_COMBO);

    // A remembered port the list lacks (typed, or unplugged now) shows as typed; none
    // remembered leaves the first one found selected.
    const int32_t port = m_dialog.FindComboItem(IDC_PORT_COMBO, s.serialPort);
    const bool anyPort = !m_dialog.ComboItems(IDC_PORT_COMBO).empty();
    m_view.SelectComboItem(IDC_PORT_COMBO,
                           port >= 0 ? port : (anyPort && s.serialPort.empty() ? 0 : -1));
    if (port < 0 && !s.serialPort.empty())
        m_view.SetText(IDC_PORT_COMBO, s.serialPort);
    // A rate the list lacks (from a board search) joins the list.
    const std::string baud = std::to_string(s.baudRate);
    int32_t baudIndex = m_dialog.FindComboItem(IDC_BAUD_COMBO, baud);
    if (baudIndex < 0)
        baudIndex = m_dialog.AddComboItem(IDC_BAUD_COMBO, baud);
    m_view.SelectComboItem(IDC_BAUD_COMBO, baudIndex);
    m_view.SelectComboItem(IDC_DATABITS_COMBO,
                           m_dialog.FindComboItem(IDC_DATABITS_COMBO, std::to_string(s.dataBits)));
    m_view.SelectComboItem(IDC_STOPBITS_COMBO, s.stopBitsIndex);
    m_view.SelectComboItem(IDC_PARITY_COMBO, s.parityIndex);

    m_view.SetText(IDC_TCP_SERVER, s.tcpServer);
    m_view.SetText(IDC_TCP_PORT, s.tcpPort);
    m_view.SetText(IDC_UDP_LOCAL_IP, s.udpLocalIp);
    m_view.SetText(IDC_UDP_LOCAL_PORT, s.udpLocalPort);
    m_view.SetText(IDC_UDP_REMOTE_IP, s.udpRemoteIp);
    m_view.SetText(IDC_UDP_REMOTE_PORT, s.udpRemotePort);
    // Ticked only, as at start-up: the poll starts with the next successful connect.
    m_view.SetCheck(IDC_POLL_ENABLE, s.pollEnabled);
    m_view.SetText(IDC_POLL_INTERVAL, s.pollInterval);
    m_selfTestLoopback = s.selfTestLoopback;

    DeviceConfig config = m_dialog.Config();
    config.receiveTimeout = s.receiveTimeout;
    config.retryCount = s.retryCount;
    config.heartbeatTimeout = s.heartbeatTimeout;
    m_dialog.SetConfig(config);
}

std::string WindowTools::CheckLinkParameters(const LinkParameterTexts& texts,
                                             int32_t& receiveTimeout, int32_t& retryCount,
                                             int32_t& heartbeatTimeout) {
    if (!ParseTyped(texts.receiveTimeout, WindowSettings::kReceiveTimeoutRange, receiveTimeout))
        return "响应超时应为 20 到 60000 之间的整数 (ms)";
    if (!ParseTyped(texts.retryCount, WindowSettings::kRetryCountRange, retryCount))
        return "重试次数应为 1 到 10 之间的整数";
    if (!ParseTyped(texts.heartbeatTimeout, WindowSettings::kHeartbeatTimeoutRange,
                    heartbeatTimeout))
        return "心跳超时应为 1000 到 3600000 之间的整数 (ms)";
    return {};
}

void WindowTools::OpenLogFolder() {
    std::error_code error;
    if (m_logFolder.empty() ||
        (!std::filesystem::is_directory(std::filesystem::u8path(m_logFolder), error) &&
         !std::filesystem::create_directories(std::filesystem::u8path(m_logFolder), error)) ||
        !m_tools.OpenFolder(m_logFolder)) {
        Log("❌ 无法打开日志文件夹: " + m_logFolder);
    }
}

void WindowTools::SaveLog() {
    const std::tm now = UserFolders::LocalTime(std::time(nullptr));
    char name[64];
    std::snprintf(name, sizeof name, "vornak-log-%04d%02d%02d-%02d%02d%02d.txt", now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    const std::string path = m_tools.AskSaveFileName(name);
    if (path.empty())
        return;
    // Both panes' lines in the order they were added.
    std::vector<PaneLine> lines;
    lines.reserve(m_paneLines[0].size() + m_paneLines[1].size());
    std::merge(m_paneLines[0].begin(), m_paneLines[0].end(), m_paneLines[1].begin(),
               m_paneLines[1].end(), std::back_inserter(lines),
               [](const PaneLine& a, const PaneLine& b) { return a.time < b.time; });
    const std::string problem = PaneTextExport::Write(path, lines);
    if (problem.empty()) {
        Log("日志已保存: " + path);
        return;
    }
    Log("❌ 保存日志失败: " + path + "（" + problem + "）");
    m_tools.ShowMessage("保存日志", "无法保存日志: " + path + "\n" + problem);
}

void WindowTools::RestoreDefaults() {
    if (!m_tools.AskConfirmation("恢复默认设置",
                                 "所有设置（协议、通信方式、各项参数、地址、定时查询和通信参数）"
                                 "都将恢复为默认值。确定吗？"))
        return;
    Apply(WindowSettings());
    m_store.Clear();
    m_store.Sync();
    Log("已恢复默认设置");
}

void WindowTools::EditLinkParameters() {
    DeviceConfig config = m_dialog.Config();
    LinkParameterTexts texts{std::to_string(config.receiveTimeout),
                             std::to_string(config.retryCount),
                             std::to_string(config.heartbeatTimeout)};
    int32_t receiveTimeout = 0, retryCount = 0, heartbeatTimeout = 0;
    const auto check = [&](const LinkParameterTexts& typed) {
        return CheckLinkParameters(typed, receiveTimeout, retryCount, heartbeatTimeout);
    };
    if (!m_tools.AskLinkParameters(texts, check) || !check(texts).empty())
        return;
    config = m_dialog.Config();
    config.receiveTimeout = receiveTimeout;
    config.retryCount = retryCount;
    config.heartbeatTimeout = heartbeatTimeout;
    m_dialog.SetConfig(config);
    Log("通信参数: 响应超时 " + std::to_string(receiveTimeout) + " ms，重试 " +
        std::to_string(retryCount) + " 次，心跳超时 " + std::to_string(heartbeatTimeout) + " ms");
}

void WindowTools::Log(const std::string& line) {
    m_view.Post([this, line] { m_dialog.ShowLine(line, true); });
}
