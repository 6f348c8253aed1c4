#include "dialog/BoardSearchSession.h"

#include <cstdio>

#include "dialog/DecimalText.h"
#include "dialog/MainDialog.h"
#include "dialog/WindowTools.h"

namespace {

const char* ProtocolName(ProtocolType protocol) {
    switch (protocol) {
    case ProtocolType::ModbusRtu:
        return "Modbus RTU";
    case ProtocolType::ModbusTcp:
        return "Modbus TCP";
    case ProtocolType::Protocol55:
        return "55协议";
    }
    return "";
}

const char* kParityNames[] = {"无校验", "奇校验", "偶校验"};

} // namespace

BoardSearchSession::BoardSearchSession(WindowTools& tools, IBoardSearchView& view,
                                       Device::Hooks hooks)
    : m_tools(tools), m_view(view), m_hooks(std::move(hooks)) {
    m_view.ShowRunning(false);
}

BoardSearchSession::~BoardSearchSession() {
    if (m_cancel) {
        *m_cancel = true;
        m_tools.Dialog().CancelWork();
    }
}

DeviceConfig BoardSearchSession::BaseConfig(const WindowSettings& s) {
    DeviceConfig config;
    config.commType = s.transport;
    config.protocolType = s.protocol;
    config.serial.portName = s.serialPort;
    config.serial.baudRate = s.baudRate;
    config.serial.dataBits = s.dataBits;
    config.serial.stopBits = s.stopBitsIndex == 1 || s.stopBitsIndex == 2 ? s.stopBitsIndex : 0;
    config.serial.parity = s.parityIndex == 1 || s.parityIndex == 2 ? s.parityIndex : 0;
    config.tcp.serverIp = s.tcpServer;
    config.tcp.port = static_cast<uint32_t>(DecimalTextToInt(s.tcpPort));
    config.udp.localIp = s.udpLocalIp;
    config.udp.localPort = static_cast<uint32_t>(DecimalTextToInt(s.udpLocalPort));
    config.udp.remoteIp = s.udpRemoteIp;
    config.udp.remotePort = static_cast<uint32_t>(DecimalTextToInt(s.udpRemotePort));
    config.receiveTimeout = s.receiveTimeout;
    config.heartbeatTimeout = s.heartbeatTimeout;
    return config;
}

std::string BoardSearchSession::Describe(const ScanBoard& board) {
    std::string text = "地址 " + std::to_string(board.address) + " ";
    for (size_t i = 0; i < board.protocols.size(); ++i)
        text += (i == 0 ? " " : "、") + std::string(ProtocolName(board.protocols[i]));
    if (board.serial) {
        text += "  " + std::to_string(board.baudRate) + " " +
                kParityNames[board.parity <= 2 ? board.parity : 0];
    }
    return text;
}

std::string BoardSearchSession::ProgressText(const ScanHit& asked, int64_t done, int64_t total,
                                             double secondsLeft) {
    ScanBoard probe{asked.address, asked.serial, asked.baudRate, asked.parity, {asked.protocol}};
    const auto left = static_cast<int64_t>(secondsLeft + 0.5);
    char time[64];
    if (left >= 3600)
        std::snprintf(time, sizeof time, "%lld 小时 %lld 分", static_cast<long long>(left / 3600),
                      static_cast<long long>(left % 3600 / 60));
    else if (left >= 60)
        std::snprintf(time, sizeof time, "%lld 分 %lld 秒", static_cast<long long>(left / 60),
                      static_cast<long long>(left % 60));
    else
        std::snprintf(time, sizeof time, "%lld 秒", static_cast<long long>(left));
    return "正在询问: " + Describe(probe) + "  " + std::to_string(done) + "/" +
           std::to_string(total) + "，剩余约 " + time;
}

double BoardSearchSession::SecondsLeft(double elapsedSeconds, int64_t done, int64_t total,
                                       double worstCaseSeconds) {
    if (total <= 0 || done >= total)
        return 0;
    const double share = static_cast<double>(total - done) / static_cast<double>(total);
    // A few requests tell little (opening the transport weighs on them).
    constexpr int64_t kPaceKnown = 20;
    if (done < kPaceKnown)
        return worstCaseSeconds * share;
    return elapsedSeconds / static_cast<double>(done) * static_cast<double>(total - done);
}

void BoardSearchSession::Start(bool allProtocols, bool allLineSettings) {
    if (m_cancel)
        return;
    const DeviceState state = m_tools.Dialog().Shown().state;
    if (state == DeviceState::Connected || state == DeviceState::Offline) {
        m_view.ShowStatus("请先断开连接，再查找设备");
        return;
    }
    const WindowSettings shown = m_tools.Collect();
    if (shown.transport == CommType::None) {
        m_view.ShowStatus("请先选择通信方式");
        return;
    }
    const DeviceConfig base = BaseConfig(shown);
    ScanPlan plan;
    if (!allProtocols)
        plan.protocols = {base.protocolType};
    if (allLineSettings)
        plan.baudRates = ScanPlan::DefaultBaudRates();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_worstCaseSeconds = BoardScanner::WorstCaseSeconds(plan, base.commType);
    m_started = std::chrono::steady_clock::now();
    m_found.clear();
    m_view.ClearFound();
    m_view.ShowStatus("查找中...");
    m_view.ShowRunning(true);
    std::weak_ptr<BoardSearchSession*> alive = m_alive;
    m_tools.Dialog().Submit([base, plan, hooks = m_hooks, cancel = m_cancel,
                             &dialog = m_tools.Dialog(), alive](Device&) {
        Search(base, plan, hooks, cancel, dialog, alive);
    });
}

void BoardSearchSession::Cancel() {
    if (m_cancel && !m_cancel->exchange(true))
        m_tools.Dialog().CancelWork();
}

// On the worker, with a device of the search's own: every request of the search, each
// reported to the window as it is done.
void BoardSearchSession::Search(const DeviceConfig& base, const ScanPlan& plan,
                                const Device::Hooks& hooks,
                                const std::shared_ptr<std::atomic<bool>>& cancel,
                                MainDialog& dialog,
                                const std::weak_ptr<BoardSearchSession*>& alive) {
    Device device;
    if (hooks.makeCommunication)
        device.SetHooks(hooks);
    device.SetProtocol(base.protocolType);
    device.SetConfig(base);
    BoardScanner scanner(device, base, plan);
    auto post = [&](bool more) {
        Probe probe{scanner.Hits(), scanner.ProbesDone(), scanner.ProbesTotal(), scanner.Asked()};
        dialog.Post([alive, probe, more] {
            if (const std::shared_ptr<BoardSearchSession*> session = alive.lock())
                (*session)->ShowProbe(probe, more);
        });
    };
    post(true);
    for (bool more = true; more;) {
        if (*cancel)
            scanner.Cancel();
        more = scanner.Step();
        post(more);
    }
    device.Disconnect();
    // A cancelled open is no port that cannot be opened.
    const bool cancelled = scanner.Cancelled() || *cancel;
    std::string status;
    if (!scanner.Error().empty() && !cancelled)
        status = "无法打开通信端口";
    else
        status = std::string(cancelled ? "已取消，找到 " : "完成，找到 ") +
                 std::to_string(GroupByBoard(scanner.Hits()).size()) + " 个设备";
    dialog.Post([alive, status] {
        if (const std::shared_ptr<BoardSearchSession*> session = alive.lock())
            (*session)->Finish(status);
    });
}

void BoardSearchSession::ShowProbe(const Probe& probe, bool more) {
    const std::vector<ScanBoard> boards = GroupByBoard(probe.hits);
    for (size_t i = 0; i < boards.size(); ++i) {
        if (i >= m_found.size())
            m_view.AddFound(Describe(boards[i]));
        else if (boards[i].protocols != m_found[i].protocols)
            m_view.SetFound(i, Describe(boards[i]));
    }
    m_found = boards;
    m_view.ShowProgress(probe.done, probe.total);
    if (!more || probe.done == 0)
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    m_view.ShowStatus(ProgressText(probe.asked, probe.done, probe.total,
                                   SecondsLeft(elapsed, probe.done, probe.total,
                                               m_worstCaseSeconds)));
}

void BoardSearchSession::Finish(const std::string& status) {
    m_cancel.reset();
    m_view.ShowRunning(false);
    m_view.ShowStatus(status);
}

bool BoardSearchSession::Choose(size_t row) {
    const DeviceState state = m_tools.Dialog().Shown().state;
    if (row >= m_found.size() || state == DeviceState::Connected || state == DeviceState::Offline)
        return false;
    const ScanBoard& board = m_found[row];
    WindowSettings settings = m_tools.Collect();
    if (!board.Answered(settings.protocol))
        settings.protocol = board.protocols.front();
    settings.address = std::to_string(board.address);
    if (board.serial) {
        settings.baudRate = board.baudRate;
        settings.parityIndex = static_cast<int32_t>(board.parity <= 2 ? board.parity : 0);
    }
    m_tools.Apply(settings);
    return true;
}
