// Coil and input panel: how a button shows its point, the two click handlers, the timed
// poll and the window's two timers.

#include "dialog/DecimalText.h"
#include "dialog/MainDialog.h"
#include "dialog/MainDlgIds.h"

namespace {

constexpr int32_t kMinPollIntervalMs = 100;

constexpr Rgb kNotConnectedBk{241, 241, 0};
constexpr Rgb kNotConnectedText{128, 128, 128};
constexpr Rgb kOnBk{50, 255, 50};
constexpr Rgb kOffBk{240, 0, 0};
constexpr Rgb kStateText{0, 0, 0};

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

} // namespace

void MainDialog::UpdateIoButton(int32_t index, bool isCoil, bool connected, bool on) {
    if (index < 0 || index >= kIoPointCount)
        return;
    const int32_t id = (isCoil ? IDC_COIL_BASE : IDC_INPUT_BASE) + index;
    // The 0x55 protocol cannot read inputs: whatever the cache holds is no state of the board.
    const bool unknown = !isCoil && m_device.GetConfig().protocolType == ProtocolType::Protocol55;
    if (!connected || unknown) {
        m_view.SetButtonLook(id, std::to_string(index) + "\n---", kNotConnectedBk,
                             kNotConnectedText);
    } else {
        m_view.SetButtonLook(id, std::to_string(index) + " " + OnOff(on), on ? kOnBk : kOffBk,
                             kStateText);
    }
}

void MainDialog::RefreshIoButtons() {
    const bool connected = m_device.IsConnected();
    for (int32_t i = 0; i < kIoPointCount; ++i) {
        UpdateIoButton(i, true, connected, m_device.GetCachedCoil(i) != 0);
        UpdateIoButton(i, false, connected, m_device.GetCachedInput(i) != 0);
    }
}

void MainDialog::EnableInputButtons(bool enable) {
    for (int32_t i = 0; i < kIoPointCount; ++i)
        m_view.Enable(IDC_INPUT_BASE + i, enable);
}

// Whether a request may go out now: connected, or offline, where an answered request brings
// the device back.
bool MainDialog::MayExchange() {
    return m_device.IsConnected() || m_device.GetState() == DeviceState::Offline;
}

// Says in the send pane why a click sends nothing, or that it may fail.
bool MainDialog::ClickMayExchange() {
    if (m_device.GetState() == DeviceState::Offline)
        PostLog("警告: 设备处于超时状态，操作可能失败");
    if (MayExchange())
        return true;
    PostLog("错误: 设备未连接");
    return false;
}

void MainDialog::OnInputClicked(int32_t id) {
    const int32_t index = id - IDC_INPUT_BASE;
    if (index < 0 || index >= kIoPointCount || !ClickMayExchange())
        return;
    PostLog("读取离散输入 " + std::to_string(index));
    // The state comes back as an input event, a failure as an operation result.
    m_device.ReadInputs(static_cast<uint8_t>(index), 1);
}

void MainDialog::OnCoilClicked(int32_t id) {
    const int32_t index = id - IDC_COIL_BASE;
    if (index < 0 || index >= kIoPointCount || !ClickMayExchange())
        return;
    const bool oldOn = m_device.GetCachedCoil(index) != 0;
    PostLog("写线圈 " + std::to_string(index) + ": " + OnOff(oldOn) + " -> " + OnOff(!oldOn));
    const OperationResult result = m_device.WriteCoil(static_cast<uint8_t>(index), oldOn ? 0 : 1);
    if (!result.success)
        PostLog("写线圈 " + std::to_string(index) + " 失败: " + result.message);
}

// Starts or stops the poll as box 1028 says; an interval below the minimum is raised and
// written back, so the operator sees the value in force.
void MainDialog::UpdatePolling() {
    if (m_view.GetCheck(IDC_POLL_ENABLE)) {
        int32_t interval = DecimalTextToInt(m_view.GetText(IDC_POLL_INTERVAL));
        if (interval < kMinPollIntervalMs) {
            interval = kMinPollIntervalMs;
            m_view.SetText(IDC_POLL_INTERVAL, std::to_string(interval));
        }
        m_view.Enable(IDC_POLL_INTERVAL, true);
        SetTimer(TIMER_POLL, interval);
        PostLog("定时查询已启动，间隔: " + std::to_string(interval) + " ms");
    } else {
        KillTimer(TIMER_POLL);
        m_view.Enable(IDC_POLL_INTERVAL, true);
        PostLog("定时查询已停止");
    }
}

void MainDialog::OnTimer(int32_t timerId) {
    if (!m_started)
        return;
    if (timerId == TIMER_STATS) {
        m_view.SetText(IDC_LINK_STATS, m_statistics.Text());
    } else if (timerId == TIMER_HEARTBEAT) {
        m_device.CheckHeartbeat();
    } else if (timerId == TIMER_POLL) {
        // No transport is open before a connect, after a disconnect or a failed connect:
        // the tick only keeps the alternation going.
        if (MayExchange()) {
            if (m_pollCount % 2 == 0)
                m_device.ReadCoils(0, kIoPointCount);
            else
                m_device.ReadInputs(0, kIoPointCount);
        }
        // Wraps instead of overflowing; the parity keeps alternating across the wrap.
        m_pollCount = static_cast<int32_t>(static_cast<uint32_t>(m_pollCount) + 1u);
    }
}

// Starting a running timer again replaces it with the new interval.
void MainDialog::SetTimer(int32_t timerId, int32_t intervalMs) {
    int32_t& running = timerId == TIMER_HEARTBEAT ? m_heartbeatIntervalMs : m_pollIntervalMs;
    running = intervalMs;
    m_view.StartTimer(timerId, intervalMs);
}

void MainDialog::KillTimer(int32_t timerId) {
    (timerId == TIMER_HEARTBEAT ? m_heartbeatIntervalMs : m_pollIntervalMs) = 0;
    m_view.StopTimer(timerId);
}

int32_t MainDialog::TimerInterval(int32_t timerId) const {
    if (timerId == TIMER_HEARTBEAT)
        return m_heartbeatIntervalMs;
    return timerId == TIMER_POLL ? m_pollIntervalMs : 0;
}

void MainDialog::SuspendPolling() {
    m_suspendedPollMs = m_pollIntervalMs;
    if (m_suspendedPollMs > 0) {
        KillTimer(TIMER_POLL);
        PostLog("定时查询已暂停");
    }
}

void MainDialog::ResumePolling() {
    if (m_suspendedPollMs > 0) {
        SetTimer(TIMER_POLL, m_suspendedPollMs);
        PostLog("定时查询已恢复，间隔: " + std::to_string(m_suspendedPollMs) + " ms");
    }
    m_suspendedPollMs = 0;
}
