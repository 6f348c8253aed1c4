// Coil and input panel: how a button shows its point, the two click handlers, the timed
// poll and the window's two timers.

#include <QCheckBox>
#include <QLineEdit>
#include <QTimerEvent>

#include "ui/CColorButton.h"
#include "ui/CMainDlg.h"
#include "ui/DecimalText.h"
#include "ui/MainDlgIds.h"

namespace {

constexpr int32_t kMinPollIntervalMs = 100;

const QColor kNotConnectedBk(241, 241, 0);
const QColor kNotConnectedText(128, 128, 128);
const QColor kOnBk(50, 255, 50);
const QColor kOffBk(240, 0, 0);
const QColor kStateText(0, 0, 0);

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

} // namespace

void CMainDlg::UpdateIoButton(int32_t index, bool isCoil, bool connected, bool on) {
    if (index < 0 || index >= kIoPointCount)
        return;

    QString caption;
    QColor background;
    QColor text;
    if (!connected) {
        caption = QStringLiteral("%1\n---").arg(index);
        background = kNotConnectedBk;
        text = kNotConnectedText;
    } else {
        caption = QStringLiteral("%1 %2").arg(index).arg(QLatin1String(OnOff(on)));
        background = on ? kOnBk : kOffBk;
        text = kStateText;
    }
    // All three pairs alike, so that hover and press do not hide the state.
    CColorButton* button = (isCoil ? m_coilButtons : m_inputButtons)[static_cast<size_t>(index)];
    button->SetNormalColors(background, text);
    button->SetHoverColors(background, text);
    button->SetPressedColors(background, text);
    button->setText(caption);
}

void CMainDlg::RefreshIoButtons() {
    const bool connected = m_device.IsConnected();
    for (int32_t i = 0; i < kIoPointCount; ++i) {
        UpdateIoButton(i, true, connected, m_device.GetCachedCoil(i) != 0);
        UpdateIoButton(i, false, connected, m_device.GetCachedInput(i) != 0);
    }
}

// Offline still sends: a request that is answered brings the device back. Says in the
// send pane why a click sends nothing.
bool CMainDlg::ClickMayExchange() {
    const bool offline = m_device.GetState() == DeviceState::Offline;
    if (offline)
        PostLog(QStringLiteral("警告: 设备处于超时状态，操作可能失败"));
    if (m_device.IsConnected() || offline)
        return true;
    PostLog(QStringLiteral("错误: 设备未连接"));
    return false;
}

void CMainDlg::OnInputClicked(int32_t id) {
    const int32_t index = id - IDC_INPUT_BASE;
    if (index < 0 || index >= kIoPointCount || !ClickMayExchange())
        return;
    PostLog(QStringLiteral("读取离散输入 %1").arg(index));
    // The state comes back as an input event, a failure as an operation result.
    m_device.ReadInputs(static_cast<uint8_t>(index), 1);
}

void CMainDlg::OnCoilClicked(int32_t id) {
    const int32_t index = id - IDC_COIL_BASE;
    if (index < 0 || index >= kIoPointCount || !ClickMayExchange())
        return;
    const bool oldOn = m_device.GetCachedCoil(index) != 0;
    PostLog(QStringLiteral("写线圈 %1: %2 -> %3")
                .arg(QString::number(index), QLatin1String(OnOff(oldOn)),
                     QLatin1String(OnOff(!oldOn))));
    const OperationResult result = m_device.WriteCoil(static_cast<uint8_t>(index), oldOn ? 0 : 1);
    if (!result.success) {
        PostLog(QStringLiteral("写线圈 %1 失败: %2")
                    .arg(QString::number(index), QString::fromUtf8(result.message.c_str())));
    }
}

// Starts or stops the poll as box 1028 says; an interval below the minimum is raised
// and written back, so the operator sees the value in force.
void CMainDlg::UpdatePolling() {
    QLineEdit* intervalEdit = Edit(IDC_POLL_INTERVAL);
    if (CheckBox(IDC_POLL_ENABLE)->isChecked()) {
        int32_t interval = DecimalTextToInt(intervalEdit->text());
        if (interval < kMinPollIntervalMs) {
            interval = kMinPollIntervalMs;
            intervalEdit->setText(QString::number(interval));
        }
        intervalEdit->setEnabled(true);
        SetTimer(TIMER_POLL, interval);
        PostLog(QStringLiteral("定时查询已启动，间隔: %1 ms").arg(interval));
    } else {
        KillTimer(TIMER_POLL);
        intervalEdit->setEnabled(true);
        PostLog(QStringLiteral("定时查询已停止"));
    }
}

void CMainDlg::OnTimer(int32_t timerId) {
    if (timerId == TIMER_HEARTBEAT) {
        m_device.CheckHeartbeat();
    } else if (timerId == TIMER_POLL) {
        if (m_pollCount % 2 == 0) {
            m_device.ReadCoils(0, kIoPointCount);
        } else {
            m_device.ReadInputs(0, kIoPointCount);
        }
        // Wraps instead of overflowing; the parity keeps alternating across the wrap.
        m_pollCount = static_cast<int32_t>(static_cast<uint32_t>(m_pollCount) + 1u);
    }
}

void CMainDlg::timerEvent(QTimerEvent* event) {
    for (int32_t timerId : {TIMER_HEARTBEAT, TIMER_POLL}) {
        if (Timer(timerId).qtId == event->timerId()) {
            OnTimer(timerId);
            return;
        }
    }
    QDialog::timerEvent(event);
}

CMainDlg::WindowTimer& CMainDlg::Timer(int32_t timerId) {
    return timerId == TIMER_HEARTBEAT ? m_heartbeatTimer : m_pollTimer;
}

const CMainDlg::WindowTimer& CMainDlg::Timer(int32_t timerId) const {
    return timerId == TIMER_HEARTBEAT ? m_heartbeatTimer : m_pollTimer;
}

// Starting a running timer again replaces it with the new interval.
void CMainDlg::SetTimer(int32_t timerId, int32_t intervalMs) {
    if (timerId != TIMER_HEARTBEAT && timerId != TIMER_POLL)
        return;
    KillTimer(timerId);
    WindowTimer& timer = Timer(timerId);
    timer.qtId = startTimer(intervalMs, Qt::PreciseTimer);
    timer.intervalMs = timer.qtId != 0 ? intervalMs : 0;
}

void CMainDlg::KillTimer(int32_t timerId) {
    if (timerId != TIMER_HEARTBEAT && timerId != TIMER_POLL)
        return;
    WindowTimer& timer = Timer(timerId);
    if (timer.qtId != 0)
        killTimer(timer.qtId);
    timer = WindowTimer{};
}

bool CMainDlg::IsTimerRunning(int32_t timerId) const {
    return TimerInterval(timerId) > 0;
}

int32_t CMainDlg::TimerInterval(int32_t timerId) const {
    if (timerId != TIMER_HEARTBEAT && timerId != TIMER_POLL)
        return 0;
    return Timer(timerId).intervalMs;
}
