#pragma once

#include <QDialog>
#include <QHash>

#include <array>
#include <cstdint>

#include "device/Device.h"
#include "device/IDeviceCallback.h"

class CColorButton;
class CLogPane;
class DeviceEvent;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The main window: protocol and transport selectors, the serial, TCP and UDP setting
// panes, 32 coil and 32 input buttons, two log panes and the timed poll. It owns the one
// Device, turns the operator's actions into Device operations on its own thread, and
// receives the Device's events by posting them to itself, so that every reaction runs
// later in its own event loop and never inside a Device operation.
//
// The code is split by concern: CMainDlg.cpp (controls, start-up, panes, closing),
// CMainDlgCommands.cpp (selectors, connect, disconnect, address, port list),
// CMainDlgPanel.cpp (coil and input buttons, timers, poll), CMainDlgEvents.cpp (the
// callback side and the handling of posted events).
class CMainDlg : public QDialog, public IDeviceCallback {
    Q_OBJECT

public:
    // Creates every control with its start-up value and sets up the Device; connects
    // nothing.
    explicit CMainDlg(QWidget* parent = nullptr);
    // Unregisters from the Device first, so that the disconnect its destructor runs
    // reaches no window that is half destroyed.
    ~CMainDlg() override;

    // The control with the given identifier (the template's IDs, 2100 + i for input
    // buttons, 2200 + i for coil buttons); null for an unknown or unnamed one.
    QWidget* GetDlgItem(int32_t id) const;
    // The window's device, for inspection.
    Device& GetDevice() { return m_device; }
    // Whether TIMER_HEARTBEAT (101) or TIMER_POLL (102) is running.
    bool IsTimerRunning(int32_t timerId) const;
    // The interval of a running timer in ms; 0 when it is not running.
    int32_t TimerInterval(int32_t timerId) const;
    // The poll alternation counter: reads so far; even means the next tick reads coils.
    int32_t PollCount() const { return m_pollCount; }

    // IDeviceCallback: each only posts an event to this window.
    void OnStateChanged(DeviceState oldState, DeviceState newState) override;
    void OnCoilChanged(int32_t index, uint8_t state) override;
    void OnInputChanged(int32_t index, uint8_t state) override;
    void OnLog(const std::string& text, bool isSend) override;
    void OnOperationResult(const OperationResult& result, uint8_t functionCode) override;
    void OnHeartbeatTimeout() override;

public slots:
    // Enter does nothing: the window never closes by accepting.
    void accept() override;
    // Esc and the close box: disconnect the device, stop the timers and close.
    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Start-up (CMainDlg.cpp).
    void CreateControls();
    void OnInitDialog();
    void InitSerialCombos();
    // Adds the serial ports found on this machine to combo 1008 (without clearing it).
    void EnumerateSerialPorts();
    void CreateIoButtons();
    void EnablePanes(bool serial, bool tcp, bool udp);
    void EnableTransportSelectors(bool enable);
    // Posts a line of the window's own to the send pane.
    void PostLog(const QString& text);
    void ShowAboutBox();

    // Connection commands (CMainDlgCommands.cpp).
    void OnProtocolSelector(int32_t id, ProtocolType value);
    void OnTransportSelector(int32_t id);
    void ApplyDeviceAddress();
    void SetDeviceAddress(uint8_t address);
    void OnSerialConnect();
    void OnTcpConnect();
    void OnUdpConnect();
    void OnConnected();
    void OnDisconnect();
    void OnRefreshPorts();

    // Coil and input panel (CMainDlgPanel.cpp).
    void UpdateIoButton(int32_t index, bool isCoil, bool connected, bool on);
    void RefreshIoButtons();
    void UpdatePolling();
    bool ClickMayExchange();
    void OnInputClicked(int32_t id);
    void OnCoilClicked(int32_t id);
    void OnTimer(int32_t timerId);
    // A window timer by the dialog's number (TIMER_HEARTBEAT or TIMER_POLL).
    struct WindowTimer {
        int qtId = 0; // Qt's id while running, 0 when stopped
        int32_t intervalMs = 0;
    };
    WindowTimer& Timer(int32_t timerId);
    const WindowTimer& Timer(int32_t timerId) const;
    void SetTimer(int32_t timerId, int32_t intervalMs);
    void KillTimer(int32_t timerId);

    // Posted events (CMainDlgEvents.cpp).
    void Post(DeviceEvent* event);
    void OnLogLine(const DeviceEvent& event, CLogPane* pane);
    void OnDeviceLog(const DeviceEvent& event);
    void OnDeviceState(const DeviceEvent& event);
    void OnDeviceHeartbeat();

    QCheckBox* CheckBox(int32_t id) const;
    QLineEdit* Edit(int32_t id) const;

    Device m_device;
    bool m_useSerial = false;
    bool m_useTcp = false;
    bool m_useUdp = false;
    std::array<CColorButton*, 32> m_inputButtons{};
    std::array<CColorButton*, 32> m_coilButtons{};
    QComboBox* m_addressCombo = nullptr;
    QComboBox* m_portCombo = nullptr;
    QComboBox* m_baudCombo = nullptr;
    QComboBox* m_dataBitsCombo = nullptr;
    QComboBox* m_stopBitsCombo = nullptr;
    QComboBox* m_parityCombo = nullptr;
    QLabel* m_serialStatus = nullptr;
    QLineEdit* m_tcpServerEdit = nullptr;
    QLineEdit* m_tcpPortEdit = nullptr;
    QLabel* m_tcpStatus = nullptr;
    QLineEdit* m_udpLocalIpEdit = nullptr;
    QLineEdit* m_udpLocalPortEdit = nullptr;
    QLineEdit* m_udpRemoteIpEdit = nullptr;
    QLineEdit* m_udpRemotePortEdit = nullptr;
    QLabel* m_udpStatus = nullptr;
    CLogPane* m_sendLog = nullptr;
    CLogPane* m_recvLog = nullptr;

    // Controls by identifier; the widgets themselves are owned by the dialog as children.
    QHash<int32_t, QWidget*> m_items;
    WindowTimer m_heartbeatTimer;
    WindowTimer m_pollTimer;
    // Alternates the poll between coils (even) and inputs (odd) for the life of the window.
    int32_t m_pollCount = 0;
};
