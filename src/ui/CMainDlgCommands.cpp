// Connection commands: protocol and transport selectors, device address, connect,
// disconnect and the serial port list. The handlers log nothing themselves; the operator
// sees the outcome through the device's events.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "ui/CColorButton.h"
#include "ui/CMainDlg.h"
#include "ui/DecimalText.h"
#include "ui/MainDlgIds.h"

namespace {

uint32_t ToUnsigned(const QString& text) {
    return static_cast<uint32_t>(DecimalTextToInt(text));
}

} // namespace

// The three protocol boxes act as one choice, but a click that clears the ticked box
// leaves none ticked and the device's protocol as it was.
void CMainDlg::OnProtocolSelector(int32_t id, ProtocolType value) {
    if (!CheckBox(id)->isChecked())
        return;

    DeviceConfig config = m_device.GetConfig();
    if (config.protocolType != value) {
        config.protocolType = value;
        m_device.SetConfig(config);
        // The relay protocol has no discrete inputs.
        const bool inputs = value != ProtocolType::Protocol55;
        for (CColorButton* button : m_inputButtons)
            button->setEnabled(inputs);
    }
    for (int32_t other : {IDC_PROTO_RTU, IDC_PROTO_TCP, IDC_PROTO_55}) {
        if (other != id)
            CheckBox(other)->setChecked(false);
    }
}

void CMainDlg::OnTransportSelector(int32_t id) {
    struct Selector {
        int32_t id;
        bool* flag;
    };
    const Selector selectors[] = {
        {IDC_USE_SERIAL, &m_useSerial}, {IDC_USE_TCP, &m_useTcp}, {IDC_USE_UDP, &m_useUdp}};
    const bool ticked = CheckBox(id)->isChecked();
    for (const Selector& selector : selectors) {
        if (selector.id == id) {
            *selector.flag = ticked;
        } else if (ticked && CheckBox(selector.id)->isChecked()) {
            CheckBox(selector.id)->setChecked(false);
            *selector.flag = false;
        }
    }
    EnablePanes(m_useSerial, m_useTcp, m_useUdp);
}

// The combo's text is the chosen item's text after a choice and the typed text after an
// edit, which is what the address is read from.
void CMainDlg::ApplyDeviceAddress() {
    SetDeviceAddress(static_cast<uint8_t>(DecimalTextToInt(m_addressCombo->currentText())));
}

void CMainDlg::SetDeviceAddress(uint8_t address) {
    DeviceConfig config = m_device.GetConfig();
    config.slaveAddress = address;
    m_device.SetConfig(config);
}

void CMainDlg::OnSerialConnect() {
    if (!m_useSerial)
        return;
    ApplyDeviceAddress();

    // The port is whatever the combo shows: a listed port or a path the operator typed
    // (a by-id link, a pty). With none, the open fails and the device reports the error.
    SerialConfig serial;
    serial.portName = m_portCombo->currentText().trimmed().toUtf8().toStdString();
    serial.baudRate = ToUnsigned(m_baudCombo->currentText());
    serial.dataBits = ToUnsigned(m_dataBitsCombo->currentText());
    const int stopBits = m_stopBitsCombo->currentIndex();
    serial.stopBits = stopBits == 1 || stopBits == 2 ? static_cast<uint32_t>(stopBits) : 0;
    const int parity = m_parityCombo->currentIndex();
    serial.parity = parity == 1 || parity == 2 ? static_cast<uint32_t>(parity) : 0;

    DeviceConfig config = m_device.GetConfig();
    config.commType = CommType::Serial;
    config.serial = serial;
    m_device.SetConfig(config);
    if (m_device.Connect())
        OnConnected();
}

void CMainDlg::OnTcpConnect() {
    if (!m_useTcp)
        return;
    ApplyDeviceAddress();

    DeviceConfig config = m_device.GetConfig();
    config.commType = CommType::Tcp;
    config.tcp.serverIp = m_tcpServerEdit->text().toUtf8().toStdString();
    config.tcp.port = ToUnsigned(m_tcpPortEdit->text());
    config.tcp.timeoutMs = 5000;
    m_device.SetConfig(config);
    if (m_device.Connect())
        OnConnected();
}

void CMainDlg::OnUdpConnect() {
    if (!m_useUdp)
        return;
    ApplyDeviceAddress();

    DeviceConfig config = m_device.GetConfig();
    config.commType = CommType::Udp;
    config.udp.localIp = m_udpLocalIpEdit->text().toUtf8().toStdString();
    config.udp.localPort = ToUnsigned(m_udpLocalPortEdit->text());
    config.udp.remoteIp = m_udpRemoteIpEdit->text().toUtf8().toStdString();
    config.udp.remotePort = ToUnsigned(m_udpRemotePortEdit->text());
    config.udp.timeoutMs = 3000;
    m_device.SetConfig(config);
    if (m_device.Connect())
        OnConnected();
}

// After every successful connect, also a repeated one while connected.
void CMainDlg::OnConnected() {
    EnableTransportSelectors(false);
    UpdatePolling();
    SetTimer(TIMER_HEARTBEAT, kHeartbeatIntervalMs);
}

// Shared by the three disconnect buttons, whatever transport is in use. The poll timer
// keeps running: its reads fail quietly until the next connect.
void CMainDlg::OnDisconnect() {
    m_device.Disconnect();
    m_device.ClearStates();
    RefreshIoButtons();
    EnableTransportSelectors(true);
    KillTimer(TIMER_HEARTBEAT);
}

void CMainDlg::OnRefreshPorts() {
    m_portCombo->clear();
    EnumerateSerialPorts();
    if (m_portCombo->count() > 0)
        m_portCombo->setCurrentIndex(0);
}
