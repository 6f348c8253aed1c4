// Connection commands: protocol and transport selectors, device address, connect,
// disconnect and the serial port list. The handlers log nothing themselves; the operator
// sees the outcome through the device's events.

#include <tuple>

#include "dialog/DecimalText.h"
#include "dialog/MainDialog.h"
#include "dialog/MainDlgIds.h"
#include "dialog/MainDlgTemplate.h"

namespace {

uint32_t ToUnsigned(const std::string& text) {
    return static_cast<uint32_t>(DecimalTextToInt(text));
}

// Whether a connection made with `used` is one made with `wanted`: the same transport with
// the same settings. The address is not part of it; every request reads it anew.
bool SameConnection(const DeviceConfig& used, const DeviceConfig& wanted) {
    if (used.commType != wanted.commType)
        return false;
    switch (wanted.commType) {
    case CommType::Serial:
        return std::tie(used.serial.portName, used.serial.baudRate, used.serial.dataBits,
                        used.serial.stopBits, used.serial.parity) ==
               std::tie(wanted.serial.portName, wanted.serial.baudRate, wanted.serial.dataBits,
                        wanted.serial.stopBits, wanted.serial.parity);
    case CommType::Tcp:
        return std::tie(used.tcp.serverIp, used.tcp.port, used.tcp.timeoutMs) ==
               std::tie(wanted.tcp.serverIp, wanted.tcp.port, wanted.tcp.timeoutMs);
    case CommType::Udp:
        return std::tie(used.udp.localIp, used.udp.localPort, used.udp.remoteIp,
                        used.udp.remotePort, used.udp.timeoutMs) ==
               std::tie(wanted.udp.localIp, wanted.udp.localPort, wanted.udp.remoteIp,
                        wanted.udp.remotePort, wanted.udp.timeoutMs);
    default:
        return true;
    }
}

} // namespace

void MainDialog::OnCommand(int32_t id) {
    if (!m_started)
        return;
    if (id >= IDC_INPUT_BASE && id < IDC_INPUT_BASE + kIoPointCount) {
        OnInputClicked(id);
        return;
    }
    if (id >= IDC_COIL_BASE && id < IDC_COIL_BASE + kIoPointCount) {
        OnCoilClicked(id);
        return;
    }
    switch (id) {
    case IDC_PROTO_RTU:
        OnProtocolSelector(id, ProtocolType::ModbusRtu);
        break;
    case IDC_PROTO_TCP:
        OnProtocolSelector(id, ProtocolType::ModbusTcp);
        break;
    case IDC_PROTO_55:
        OnProtocolSelector(id, ProtocolType::Protocol55);
        break;
    case IDC_USE_SERIAL:
    case IDC_USE_TCP:
    case IDC_USE_UDP:
        OnTransportSelector(id);
        break;
    case IDC_SERIAL_OPEN:
    case IDC_TCP_CONNECT:
    case IDC_UDP_CONNECT:
        // While a connect is under way, another connect click does nothing at all.
        if (m_connectingId == 0) {
            if (id == IDC_SERIAL_OPEN)
                OnSerialConnect();
            else if (id == IDC_TCP_CONNECT)
                OnTcpConnect();
            else
                OnUdpConnect();
        }
        break;
    case IDC_SERIAL_CLOSE:
    case IDC_TCP_DISCONNECT:
    case IDC_UDP_DISCONNECT:
        OnDisconnect();
        break;
    case IDC_REFRESH_PORTS:
        OnRefreshPorts();
        break;
    case IDC_POLL_ENABLE:
        UpdatePolling();
        break;
    default:
        break;
    }
}

void MainDialog::OnComboChange(int32_t id) {
    if (m_started && id == IDC_ADDRESS_COMBO)
        ApplyDeviceAddress();
}

// The three protocol boxes act as one choice, but a click that clears the ticked box leaves
// none ticked and the device's protocol as it was.
void MainDialog::OnProtocolSelector(int32_t id, ProtocolType value) {
    if (!m_view.GetCheck(id))
        return;

    DeviceConfig config = m_config;
    if (config.protocolType != value) {
        config.protocolType = value;
        SetConfig(config);
        // The relay protocol has no discrete inputs: they look unknown under it.
        EnableInputButtons(value != ProtocolType::Protocol55);
        RefreshIoButtons();
    }
    for (int32_t other : {IDC_PROTO_RTU, IDC_PROTO_TCP, IDC_PROTO_55}) {
        if (other != id)
            m_view.SetCheck(other, false);
    }
}

void MainDialog::OnTransportSelector(int32_t id) {
    struct Selector {
        int32_t id;
        bool* flag;
    };
    const Selector selectors[] = {
        {IDC_USE_SERIAL, &m_useSerial}, {IDC_USE_TCP, &m_useTcp}, {IDC_USE_UDP, &m_useUdp}};
    const bool ticked = m_view.GetCheck(id);
    for (const Selector& selector : selectors) {
        if (selector.id == id) {
            *selector.flag = ticked;
        } else if (ticked && m_view.GetCheck(selector.id)) {
            m_view.SetCheck(selector.id, false);
            *selector.flag = false;
        }
    }
    EnablePanes(m_useSerial, m_useTcp, m_useUdp);
}

// The selected item's text, or the typed text when no item is selected.
std::string MainDialog::ComboText(int32_t id) {
    const int32_t selected = m_view.GetComboSelection(id);
    const std::vector<std::string>& items = m_comboItems[id];
    if (selected >= 0 && static_cast<size_t>(selected) < items.size())
        return items[static_cast<size_t>(selected)];
    return m_view.GetText(id);
}

void MainDialog::ApplyDeviceAddress() {
    // Only the low 8 bits are kept: 300 is address 44.
    SetDeviceAddress(static_cast<uint8_t>(DecimalTextToInt(ComboText(IDC_ADDRESS_COMBO))));
}

void MainDialog::SetDeviceAddress(uint8_t address) {
    DeviceConfig config = m_config;
    config.slaveAddress = address;
    SetConfig(config);
}

void MainDialog::OnSerialConnect() {
    if (!m_useSerial)
        return;
    ApplyDeviceAddress();

    // The port is a listed one or a path the operator typed (a by-id link, a pty). With
    // none, the open fails and the device reports the error.
    std::string port = ComboText(IDC_PORT_COMBO);
    const size_t first = port.find_first_not_of(" \t");
    port = first == std::string::npos
               ? ""
               : port.substr(first, port.find_last_not_of(" \t") + 1 - first);

    DeviceConfig config = m_config;
    config.commType = CommType::Serial;
    config.serial.portName = port;
    config.serial.baudRate = ToUnsigned(ComboText(IDC_BAUD_COMBO));
    config.serial.dataBits = ToUnsigned(ComboText(IDC_DATABITS_COMBO));
    const int32_t stopBits = m_view.GetComboSelection(IDC_STOPBITS_COMBO);
    config.serial.stopBits = stopBits == 1 || stopBits == 2 ? static_cast<uint32_t>(stopBits) : 0;
    const int32_t parity = m_view.GetComboSelection(IDC_PARITY_COMBO);
    config.serial.parity = parity == 1 || parity == 2 ? static_cast<uint32_t>(parity) : 0;
    ConnectWith(IDC_SERIAL_OPEN, config);
}

void MainDialog::OnTcpConnect() {
    if (!m_useTcp)
        return;
    ApplyDeviceAddress();

    DeviceConfig config = m_config;
    config.commType = CommType::Tcp;
    config.tcp.serverIp = m_view.GetText(IDC_TCP_SERVER);
    config.tcp.port = ToUnsigned(m_view.GetText(IDC_TCP_PORT));
    config.tcp.timeoutMs = 5000;
    ConnectWith(IDC_TCP_CONNECT, config);
}

void MainDialog::OnUdpConnect() {
    if (!m_useUdp)
        return;
    ApplyDeviceAddress();

    DeviceConfig config = m_config;
    config.commType = CommType::Udp;
    config.udp.localIp = m_view.GetText(IDC_UDP_LOCAL_IP);
    config.udp.localPort = ToUnsigned(m_view.GetText(IDC_UDP_LOCAL_PORT));
    config.udp.remoteIp = m_view.GetText(IDC_UDP_REMOTE_IP);
    config.udp.remotePort = ToUnsigned(m_view.GetText(IDC_UDP_REMOTE_PORT));
    config.udp.timeoutMs = 3000;
    ConnectWith(IDC_UDP_CONNECT, config);
}

// A connect while connected (or offline) keeps the open transport when the pane asks for the
// same connection; changed settings close it and connect anew with them. The connect runs on
// the worker; until it is done its button shows so, and no other connect starts.
void MainDialog::ConnectWith(int32_t buttonId, const DeviceConfig& config) {
    const DeviceState state = m_shown.state;
    const bool reconnect = (state == DeviceState::Connected || state == DeviceState::Offline) &&
                           !SameConnection(m_connectedConfig, config);
    if (reconnect)
        OnDisconnect();
    m_config = config;
    ShowConnecting(buttonId);
    const uint32_t connect = ++m_connects;
    Submit([this, config, connect](Device& device) {
        device.SetConfig(config);
        const bool connected = device.Connect();
        m_view.Post([this, connect, connected, config] {
            // A connect that "断开" called off has already been ended here.
            if (connect == m_connects && m_connectingId != 0)
                OnConnectDone(connected, config);
        });
    });
}

void MainDialog::ShowConnecting(int32_t buttonId) {
    m_connectingId = buttonId;
    m_view.SetText(buttonId, "连接中...");
    m_view.Enable(buttonId, false);
}

void MainDialog::EndConnecting() {
    for (const DlgItem& item : MainDlgTemplate::kItems) {
        if (item.id == m_connectingId)
            m_view.SetText(item.id, item.caption);
    }
    m_connectingId = 0;
    EnablePanes(m_useSerial, m_useTcp, m_useUdp);
}

void MainDialog::OnConnectDone(bool connected, const DeviceConfig& config) {
    EndConnecting();
    const bool fresh = m_freshConnect;
    m_freshConnect = false;
    if (!connected) {
        // The device has shown the error; a failed connect leaves no heartbeat to turn it
        // into a silent board.
        KillTimer(TIMER_HEARTBEAT);
        m_view.StopTimer(TIMER_STATS);
        return;
    }
    m_connectedConfig = config;
    EnableTransportSelectors(false);
    UpdatePolling();
    SetTimer(TIMER_HEARTBEAT, kHeartbeatIntervalMs);
    m_view.StartTimer(TIMER_STATS, kStatsIntervalMs);
    if (fresh) {
        PostLog("连接成功，正在读取所有状态...");
        Submit([](Device& device) {
            device.ReadCoils(0, kIoPointCount);
            device.ReadInputs(0, kIoPointCount);
        });
    }
}

// Shared by the three disconnect buttons, whatever transport is in use: calls off what the
// worker is waiting for (a connect too) and disconnects there. The poll timer keeps running;
// its ticks do nothing until the next connect.
void MainDialog::OnDisconnect() {
    CancelWork();
    m_freshConnect = false;
    if (m_connectingId != 0)
        EndConnecting();
    Submit([](Device& device) {
        device.Disconnect();
        device.ClearStates();
    });
    EnableTransportSelectors(true);
    KillTimer(TIMER_HEARTBEAT);
    m_view.StopTimer(TIMER_STATS);
}

void MainDialog::OnRefreshPorts() {
    EnumerateSerialPorts();
    if (!m_comboItems[IDC_PORT_COMBO].empty())
        m_view.SelectComboItem(IDC_PORT_COMBO, 0);
}
