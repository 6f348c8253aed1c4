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
    const bool unknown = !isCoil && m_config.protocolType == ProtocolType::Protocol55;
    if (!connected || unknown) {
        m_view.SetButtonLook(id, std::to_string(index) + "\n---", kNotConnectedBk,
                             kNotConnectedText);
    } else {
        m_view.SetButtonLook(id, std::to_string(index) + " " + OnOff(on), on ? kOnBk : kOffBk,
                             kStateText);
    }
}

void MainDialog::RefreshIoButtons() {
    for (size_t i = 0; i < kIoPointCount; ++i) {
        const auto index = static_cast<int32_t>(i);
        UpdateIoButton(index, true, m_shown.connected, m_shown.coils[i] != 0);
        UpdateIoButton(index, false, m_shown.connected, m_shown.inputs[i] != 0);
    }
}

void MainDialog::EnableInputButtons(bool enable) {
    for (int32_t i = 0; i < kIoPointCount; ++i)
        m_view.Enable(IDC_INPUT_BASE + i, enable);
}

// On the worker: says in the send pane why a click sends nothing, or that it may fail.
bool MainDialog::ClickMayExchange(Device& device) {
    const DeviceSnapshot shot = DeviceSnapshot::Of(device);
    if (shot.state == DeviceState::Offline)
        PostLog("警告: 设备处于超时状态，操作可能失败");
    if (shot.MayExchange())
        return true;
    PostLog("错误: 设备未连接");
    return false;
}

// A click is one job, judged against the Device as it is when the job runs, so clicks made
// while a slow exchange is under way each become one request, in order.
void MainDialog::OnInputClicked(int32_t id) {
    const int32_t index = id - IDC_INPUT_BASE;
    if (index < 0 || index >= kIoPointCount)
        return;
    Submit([this, index](Device& device) {
        if (!ClickMayExchange(device))
            return;
        PostLog("读取离散输入 " + std::to_string(index));
        // The state comes back as an input event, a failure as an operation result.
        device.ReadInputs(static_cast<uint8_t>(index), 1);
    });
}

void MainDialog::OnCoilClicked(int32_t id) {
    const int32_t index = id - IDC_COIL_BASE;
    if (index < 0 || index >= kIoPointCount)
        return;
    Submit([this, index](Device& device) {
        if (!ClickMayExchange(device))
            return;
        const bool oldOn = device.GetCachedCoil(index) != 0;
        PostLog("写线圈 " + std::to_string(index) + ": " + OnOff(oldOn) + " -> " + OnOff(!oldOn));
        const OperationResult result = device.WriteCoil(static_cast<uint8_t>(index), oldOn ? 0 : 1);
        if (!result.success && result.kind != ErrorKind::Cancelled)
            PostLog("写线圈 " + std::to_string(index) + " 失败: " + result.message);
    });
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
    } else if (timerId == TIMER_HEARTBEAT && !m_heartbeatInFlight) {
        m_heartbeatInFlight = true;
        Submit([this](Device& device) {
            device.CheckHeartbeat();
            m_view.Post([this] { m_heartbeatInFlight = false; });
        });
    } else if (timerId == TIMER_POLL && !m_pollInFlight) {
        OnPollTick();
    }
}

// One read of the coils or the inputs, alternately; a tick while the last one is still on
// the worker was skipped, so polls never pile up behind a slow board.
void MainDialog::OnPollTick() {
    const bool coils = m_pollCount % 2 == 0;
    // Wraps instead of overflowing; the parity keeps alternating across the wrap.
    m_pollCount = static_cast<int32_t>(static_cast<uint32_t>(m_pollCount) + 1u);
    m_pollInFlight = true;
    Submit([this, coils](Device& device) {
        // No transport is open before a connect, after a disconnect or a failed connect: the
        // read is refused at once, without events.
        if (coils)
            device.ReadCoils(0, kIoPointCount);
        else
            device.ReadInputs(0, kIoPointCount);
        m_view.Post([this] { m_pollInFlight = false; });
    });
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
