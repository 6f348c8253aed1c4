// Device events: the callback side only posts to this window; the handlers below run
// later in its event loop, one at a time and in the order the device raised them.

#include <QCoreApplication>
#include <QLabel>

#include "ui/CLogPane.h"
#include "ui/CMainDlg.h"
#include "ui/DeviceEvent.h"
#include "ui/MainDlgIds.h"

namespace {

QString StatusText(DeviceState state) {
    switch (state) {
    case DeviceState::Disconnected:
        return QStringLiteral("未连接");
    case DeviceState::Connecting:
        return QStringLiteral("连接中...");
    case DeviceState::Connected:
        return QStringLiteral("已连接");
    case DeviceState::Error:
        return QStringLiteral("错误");
    case DeviceState::Offline:
        return QStringLiteral("掉线");
    }
    return QString();
}

bool IsPointIndex(int32_t index) {
    return index >= 0 && index < kIoPointCount;
}

} // namespace

void CMainDlg::Post(DeviceEvent* event) {
    QCoreApplication::postEvent(this, event);
}

void CMainDlg::OnStateChanged(DeviceState oldState, DeviceState newState) {
    Post(new DeviceEvent(WM_DEVICE_STATE, static_cast<int64_t>(oldState),
                         static_cast<int64_t>(newState)));
}

void CMainDlg::OnCoilChanged(int32_t index, uint8_t state) {
    if (IsPointIndex(index))
        Post(new DeviceEvent(WM_DEVICE_COIL, index, state));
}

void CMainDlg::OnInputChanged(int32_t index, uint8_t state) {
    if (IsPointIndex(index))
        Post(new DeviceEvent(WM_DEVICE_INPUT, index, state));
}

void CMainDlg::OnLog(const std::string& text, bool isSend) {
    Post(new DeviceEvent(WM_DEVICE_LOG, isSend ? 1 : 0, QString::fromUtf8(text.c_str())));
}

// Only failures are shown, straight in the receive pane.
void CMainDlg::OnOperationResult(const OperationResult& result, uint8_t functionCode) {
    if (result.success)
        return;
    const QString code = QStringLiteral("%1").arg(functionCode, 2, 16, QLatin1Char('0')).toUpper();
    Post(new DeviceEvent(WM_LOG_RECV, 0,
                         QStringLiteral("操作失败 [0x") + code + QStringLiteral("]: ") +
                             QString::fromUtf8(result.message.c_str())));
}

void CMainDlg::OnHeartbeatTimeout() {
    Post(new DeviceEvent(WM_DEVICE_HEARTBEAT, 0, 0));
}

void CMainDlg::customEvent(QEvent* event) {
    if (!DeviceEvent::IsDeviceEvent(event->type())) {
        QDialog::customEvent(event);
        return;
    }
    const auto& deviceEvent = static_cast<const DeviceEvent&>(*event);
    switch (static_cast<int>(event->type())) {
    case WM_LOG_SEND:
        OnLogLine(deviceEvent, m_sendLog);
        break;
    case WM_LOG_RECV:
        OnLogLine(deviceEvent, m_recvLog);
        break;
    case WM_DEVICE_LOG:
        OnDeviceLog(deviceEvent);
        break;
    case WM_DEVICE_STATE:
        OnDeviceState(deviceEvent);
        break;
    case WM_DEVICE_COIL:
    case WM_DEVICE_INPUT:
        // The look follows the connection as it is now, not as it was when posted.
        UpdateIoButton(static_cast<int32_t>(deviceEvent.WParam()), event->type() == WM_DEVICE_COIL,
                       m_device.IsConnected(), deviceEvent.LParam() != 0);
        break;
    case WM_DEVICE_HEARTBEAT:
        OnDeviceHeartbeat();
        break;
    default:
        break;
    }
}

void CMainDlg::OnLogLine(const DeviceEvent& event, CLogPane* pane) {
    if (!event.HasText())
        return;
    pane->AppendLine(event.Text());
}

// A device line goes round the queue once more before it reaches its pane, so it lands
// after whatever was already queued behind it.
void CMainDlg::OnDeviceLog(const DeviceEvent& event) {
    if (!event.HasText())
        return;
    Post(new DeviceEvent(event.WParam() != 0 ? WM_LOG_SEND : WM_LOG_RECV, 0, event.Text()));
}

void CMainDlg::OnDeviceState(const DeviceEvent& event) {
    // The label shows the state the device is in now: posted events arrive after the
    // operation that raised them, so a connect shows its outcome already for Connecting.
    QLabel* label = nullptr;
    switch (m_device.GetActiveCommType()) {
    case static_cast<int32_t>(CommType::Serial):
        label = m_serialStatus;
        break;
    case static_cast<int32_t>(CommType::Tcp):
        label = m_tcpStatus;
        break;
    case static_cast<int32_t>(CommType::Udp):
        label = m_udpStatus;
        break;
    default:
        break;
    }
    if (label != nullptr)
        label->setText(StatusText(m_device.GetState()));

    const int64_t oldState = event.WParam();
    switch (event.LParam()) {
    case static_cast<int64_t>(DeviceState::Connected):
        RefreshIoButtons();
        if (oldState == static_cast<int64_t>(DeviceState::Offline)) {
            PostLog(QStringLiteral("✅ 设备已自动恢复连接"));
        } else {
            EnableTransportSelectors(false);
            PostLog(QStringLiteral("连接成功，正在读取所有状态..."));
            m_device.ReadCoils(0, kIoPointCount);
            m_device.ReadInputs(0, kIoPointCount);
        }
        break;
    case static_cast<int64_t>(DeviceState::Offline):
        RefreshIoButtons();
        PostLog(QStringLiteral("⚠ 通信超时，设备已掉线（按钮已变灰，点击可重试）"));
        break;
    case static_cast<int64_t>(DeviceState::Disconnected):
        RefreshIoButtons();
        EnableTransportSelectors(true);
        m_device.ClearStates();
        break;
    case static_cast<int64_t>(DeviceState::Error):
        RefreshIoButtons();
        EnableTransportSelectors(true);
        PostLog(QStringLiteral("❌ 设备错误，请检查连接配置"));
        break;
    default:
        break;
    }
    EnablePanes(m_useSerial, m_useTcp, m_useUdp);
}

void CMainDlg::OnDeviceHeartbeat() {
    PostLog(QStringLiteral("⚠ 心跳检测超时，设备已掉线"));
    RefreshIoButtons();
}
