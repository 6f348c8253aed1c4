#include "dialog/MainDialog.h"

#include <algorithm>
#include <chrono>

#include "comm/EnumerateSerialPorts.h"
#include "dialog/MainDlgIds.h"
#include "dialog/MainDlgTemplate.h"
#include "dialog/WindowTools.h"
#include "dialog/WorkerThread.h"

namespace {

const char* StatusText(DeviceState state) {
    switch (state) {
    case DeviceState::Disconnected:
        return "未连接";
    case DeviceState::Connecting:
        return "连接中...";
    case DeviceState::Connected:
        return "已连接";
    case DeviceState::Error:
        return "错误";
    case DeviceState::Offline:
        return "掉线";
    }
    return "";
}

bool IsPointIndex(int32_t index) {
    return index >= 0 && index < kIoPointCount;
}

// When a device event is raised, on the monotonic clock, for the point history.
int64_t SteadyNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

MainDialog::MainDialog(IMainDialogView& view, std::function<std::vector<std::string>()> listPorts,
                       std::unique_ptr<IJobQueue> queue)
    : m_view(view), m_listPorts(std::move(listPorts)), m_queue(std::move(queue)) {
    if (!m_queue)
        m_queue = std::make_unique<WorkerThread>();
    m_device.SetTransactionObserver(&m_statistics.Observer());
    if (!m_listPorts)
        m_listPorts = [] { return ::EnumerateSerialPorts(); };
}

MainDialog::~MainDialog() {
    // Nothing touches the Device once the worker has ended; its own last disconnect then
    // runs here and reports to no one.
    m_queue->Stop();
    m_device.SetCallback(nullptr);
    m_device.SetTransactionObserver(nullptr);
}

void MainDialog::Submit(std::function<void(Device&)> job) {
    m_queue->Submit([this, job = std::move(job)] { job(m_device); });
}

void MainDialog::CancelWork() {
    m_queue->CancelAll();
    // The dropped poll and heartbeat never report back; the next ticks may go out again.
    m_pollInFlight = false;
    m_heartbeatInFlight = false;
}

void MainDialog::SetConfig(const DeviceConfig& config) {
    m_config = config;
    Submit([config](Device& device) { device.SetConfig(config); });
}

void MainDialog::SetDeviceHooks(Device::Hooks hooks) {
    Submit([hooks = std::move(hooks)](Device& device) { device.SetHooks(hooks); });
}

void MainDialog::OnInitDialog() {
    m_view.SetTitle(MainDlgTemplate::kCaption);

    std::vector<std::string> addresses;
    for (int address = 0; address <= 255; ++address)
        addresses.push_back(std::to_string(address));
    m_comboItems[IDC_ADDRESS_COMBO] = addresses;
    m_view.SetComboItems(IDC_ADDRESS_COMBO, addresses);
    m_view.SelectComboItem(IDC_ADDRESS_COMBO, 1);

    m_view.SetText(IDC_POLL_INTERVAL, "1000");
    InitSerialCombos();

    m_view.SetText(IDC_TCP_SERVER, "192.168.1.110");
    m_view.SetText(IDC_TCP_PORT, "6000");
    m_view.SetText(IDC_UDP_LOCAL_IP, "0.0.0.0");
    m_view.SetText(IDC_UDP_LOCAL_PORT, "0");
    m_view.SetText(IDC_UDP_REMOTE_IP, "192.168.1.110");
    m_view.SetText(IDC_UDP_REMOTE_PORT, "6000");

    Submit([this](Device& device) {
        device.SetProtocol(device.GetConfig().protocolType);
        device.SetCallback(this);
    });

    DeviceConfig config;
    config.commType = CommType::Serial;
    config.serial.portName = "COM1";
    config.serial.baudRate = 9600;
    config.serial.dataBits = 8;
    config.serial.stopBits = 0;
    config.serial.parity = 0;
    config.tcp.serverIp = "127.0.0.1";
    config.tcp.port = 502;
    config.tcp.timeoutMs = 5000;
    config.udp.localIp = "0.0.0.0";
    config.udp.localPort = 0;
    config.udp.remoteIp = "127.0.0.1";
    config.udp.remotePort = 502;
    config.udp.timeoutMs = 3000;
    config.slaveAddress = 1;
    config.receiveTimeout = 100;
    config.retryCount = 3;
    config.heartbeatTimeout = 5000;
    config.protocolType = ProtocolType::Protocol55;
    SetConfig(config);

    EnablePanes(false, false, false);

    // The record above holds Protocol55, so the Modbus RTU handler switches the device to
    // Modbus RTU and enables the input buttons.
    m_view.SetCheck(IDC_PROTO_RTU, true);
    OnProtocolSelector(IDC_PROTO_RTU, ProtocolType::ModbusRtu);

    m_view.SetCheck(IDC_USE_SERIAL, true);
    m_useSerial = true;
    OnTransportSelector(IDC_USE_SERIAL);

    // Ticked only: the poll starts with the first successful connect.
    m_view.SetCheck(IDC_POLL_ENABLE, true);

    RefreshIoButtons();
    // From here on the window's actions count; the tools replay the operator's choices.
    m_started = true;
    // What the operator chose last time replaces the start-up values.
    if (m_tools)
        m_tools->OnInitDialog();
}

void MainDialog::InitSerialCombos() {
    EnumerateSerialPorts();
    if (!m_comboItems[IDC_PORT_COMBO].empty())
        m_view.SelectComboItem(IDC_PORT_COMBO, 0);

    // The list positions of stop bits and parity are the codes of the serial settings.
    const std::pair<int32_t, std::vector<std::string>> lists[] = {
        {IDC_BAUD_COMBO, {"9600", "19200", "38400", "57600", "115200"}},
        {IDC_DATABITS_COMBO, {"5", "6", "7", "8"}},
        {IDC_STOPBITS_COMBO, {"1", "1.5", "2"}},
        {IDC_PARITY_COMBO, {"无校验", "奇校验", "偶校验"}},
    };
    for (const auto& [id, items] : lists) {
        m_comboItems[id] = items;
        m_view.SetComboItems(id, items);
        m_view.SelectComboItem(id, id == IDC_DATABITS_COMBO ? 3 : 0);
    }
}

// Replaces the port list with the ports found now; selects nothing.
void MainDialog::EnumerateSerialPorts() {
    std::vector<std::string>& ports = m_comboItems[IDC_PORT_COMBO];
    ports = m_listPorts();
    m_view.SetComboItems(IDC_PORT_COMBO, ports);
}

void MainDialog::EnablePanes(bool serial, bool tcp, bool udp) {
    for (int32_t id :
         {IDC_GROUP_SERIAL, IDC_PORT_COMBO, IDC_BAUD_COMBO, IDC_DATABITS_COMBO, IDC_STOPBITS_COMBO,
          IDC_PARITY_COMBO, IDC_SERIAL_OPEN, IDC_SERIAL_CLOSE, IDC_REFRESH_PORTS}) {
        m_view.Enable(id, serial);
    }
    for (int32_t id :
         {IDC_GROUP_TCP, IDC_TCP_SERVER, IDC_TCP_PORT, IDC_TCP_CONNECT, IDC_TCP_DISCONNECT}) {
        m_view.Enable(id, tcp);
    }
    for (int32_t id : {IDC_GROUP_UDP, IDC_UDP_LOCAL_IP, IDC_UDP_LOCAL_PORT, IDC_UDP_REMOTE_IP,
                       IDC_UDP_REMOTE_PORT, IDC_UDP_CONNECT, IDC_UDP_DISCONNECT}) {
        m_view.Enable(id, udp);
    }
    // A connect under way keeps its button busy; "断开" stays usable to call it off.
    if (m_connectingId != 0)
        m_view.Enable(m_connectingId, false);
    m_view.Enable(IDC_POLL_INTERVAL, true);
    m_view.Enable(IDC_POLL_ENABLE, true);
}

void MainDialog::EnableTransportSelectors(bool enable) {
    for (int32_t id : {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP})
        m_view.Enable(id, enable);
}

// The dialog's own lines queue behind the device events already posted, so every line
// reaches its pane in the order things happened.
void MainDialog::PostLog(const std::string& text) {
    m_view.Post([this, text] { AppendToPane(IDC_SEND_LOG, text); });
}

void MainDialog::ShowLine(const std::string& line, bool isSend) {
    if (m_started)
        AppendToPane(isSend ? IDC_SEND_LOG : IDC_RECV_LOG, line);
}

void MainDialog::AppendToPane(int32_t paneId, const std::string& line) {
    int32_t& lines = m_paneLines[paneId == IDC_SEND_LOG ? 0 : 1];
    m_view.AppendLine(paneId, line);
    if (m_tools)
        m_tools->OnPaneLine(line, paneId == IDC_SEND_LOG);
    // A line with its own breaks shows as several lines.
    lines += 1 + static_cast<int32_t>(std::count(line.begin(), line.end(), '\n'));
    if (lines >= kPaneLines + kPaneDropBlock) {
        const int32_t drop = lines - kPaneLines;
        m_view.DropOldestLines(paneId, drop);
        lines -= drop;
    }
}

std::vector<MenuEntry> MainDialog::MenuEntries() const {
    std::vector<MenuEntry> entries{{IDM_ABOUTBOX, IDS_ABOUTBOX}, {IDM_TIMELINE, IDS_TIMELINE}};
    if (m_tools) {
        for (const MenuEntry& entry : m_tools->MenuEntries())
            entries.push_back(entry);
    }
    return entries;
}

void MainDialog::OnMenuCommand(int32_t command) {
    if (!m_started)
        return;
    if (command == IDM_ABOUTBOX)
        m_view.ShowAboutBox(AboutBoxTexts{});
    else if (command == IDM_TIMELINE)
        m_view.ShowTimeline();
    else if (m_tools)
        m_tools->OnMenuCommand(command);
}

int32_t MainDialog::FindComboItem(int32_t id, const std::string& text) {
    const std::vector<std::string>& items = m_comboItems[id];
    const auto found = std::find(items.begin(), items.end(), text);
    return found == items.end() ? -1 : static_cast<int32_t>(found - items.begin());
}

int32_t MainDialog::AddComboItem(int32_t id, const std::string& text) {
    std::vector<std::string>& items = m_comboItems[id];
    items.push_back(text);
    m_view.SetComboItems(id, items);
    return static_cast<int32_t>(items.size()) - 1;
}

void MainDialog::OnOK() {}

void MainDialog::OnCancel() {
    if (!m_started)
        return;
    // The settings shown now are saved before the disconnect changes anything.
    if (m_tools)
        m_tools->OnClose();
    // Whatever the worker waits for ends now; the coils stay as they are.
    CancelWork();
    Submit([](Device& device) { device.Disconnect(); });
    // The timers end with the window on every path out of it.
    KillTimer(TIMER_HEARTBEAT);
    KillTimer(TIMER_POLL);
    m_view.StopTimer(TIMER_STATS);
    m_view.Close();
}

// The callback side, on the worker: post, nothing more. Each event carries the Device as
// it was when the event was raised, so the window shows the events' own order.

void MainDialog::PostEvent(std::function<void()> show) {
    m_view.Post([this, shot = DeviceSnapshot::Of(m_device), show = std::move(show)] {
        if (!m_started)
            return;
        m_shown = shot;
        show();
    });
}

void MainDialog::OnStateChanged(DeviceState oldState, DeviceState newState) {
    PostEvent([this, oldState, newState, timeUs = SteadyNowUs()] {
        m_recorder.OnState(newState, timeUs);
        OnDeviceState(oldState, newState);
    });
}

void MainDialog::OnCoilChanged(int32_t index, uint8_t state) {
    if (IsPointIndex(index))
        PostEvent([this, index, state] {
            m_recorder.OnPoint(true, index, state);
            UpdateIoButton(index, true, m_shown.connected, state != 0);
        });
}

void MainDialog::OnInputChanged(int32_t index, uint8_t state) {
    if (IsPointIndex(index))
        PostEvent([this, index, state] {
            m_recorder.OnPoint(false, index, state);
            UpdateIoButton(index, false, m_shown.connected, state != 0);
        });
}

void MainDialog::OnLog(const std::string& text, bool isSend) {
    // Straight into its pane: a second trip through the queue would put it behind lines of
    // later events.
    m_view.Post([this, text, isSend] { ShowLine(text, isSend); });
}

// Every result reaches the point history (a called-off wait leaves its points unknown:
// nothing confirmed them); only failures are shown, straight in the receive pane, and a wait
// called off by the operator (disconnect, closing) is none.
void MainDialog::OnOperationResult(const OperationResult& result, uint8_t functionCode) {
    m_view.Post([this, functionCode, success = result.success, timeUs = SteadyNowUs()] {
        if (m_started)
            m_recorder.OnResult(functionCode, success, timeUs);
    });
    if (result.success || result.kind == ErrorKind::Cancelled)
        return;
    static const char kHex[] = "0123456789ABCDEF";
    const std::string code{kHex[functionCode >> 4], kHex[functionCode & 0x0F]};
    const std::string line = "操作失败 [0x" + code + "]: " + result.message;
    m_view.Post([this, line] {
        if (m_started)
            AppendToPane(IDC_RECV_LOG, line);
    });
}

void MainDialog::OnHeartbeatTimeout() {
    PostEvent([this] {
        PostLog("⚠ 心跳检测超时，设备已掉线");
        RefreshIoButtons();
    });
}

std::optional<int64_t> MainDialog::HistoryNowUs() const {
    const DeviceState state = m_shown.state;
    if (!m_recorder.Started() || (state != DeviceState::Connected && state != DeviceState::Offline))
        return std::nullopt;
    return SteadyNowUs() - m_recorder.OriginUs();
}

void MainDialog::OnDeviceState(DeviceState oldState, DeviceState newState) {
    // The label shows the state the event brought, in the snapshot taken with it.
    switch (m_shown.activeCommType) {
    case static_cast<int32_t>(CommType::Serial):
        m_view.SetText(IDC_SERIAL_STATUS, StatusText(m_shown.state));
        break;
    case static_cast<int32_t>(CommType::Tcp):
        m_view.SetText(IDC_TCP_STATUS, StatusText(m_shown.state));
        break;
    case static_cast<int32_t>(CommType::Udp):
        m_view.SetText(IDC_UDP_STATUS, StatusText(m_shown.state));
        break;
    default:
        break;
    }

    switch (newState) {
    case DeviceState::Connected:
        RefreshIoButtons();
        if (oldState == DeviceState::Offline) {
            PostLog("✅ 设备已自动恢复连接");
        } else {
            EnableTransportSelectors(false);
            // A fresh connection counts from zero (the device has reset the counts).
            m_view.SetText(IDC_LINK_STATS, m_statistics.Text());
            // Everything is read once the connect is done, after its own lines.
            m_freshConnect = true;
        }
        break;
    case DeviceState::Offline:
        RefreshIoButtons();
        PostLog("⚠ 通信超时，设备已掉线（按钮已变灰，点击可重试）");
        break;
    case DeviceState::Disconnected:
        RefreshIoButtons();
        EnableTransportSelectors(true);
        Submit([](Device& device) { device.ClearStates(); });
        break;
    case DeviceState::Error:
        RefreshIoButtons();
        EnableTransportSelectors(true);
        PostLog("❌ 设备错误，请检查连接配置");
        break;
    case DeviceState::Connecting:
        break;
    }
    EnablePanes(m_useSerial, m_useTcp, m_useUdp);
}
