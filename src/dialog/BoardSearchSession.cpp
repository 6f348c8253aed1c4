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
    : m_tools(tools), m_view(view) {
    if (hooks.makeCommunication)
        m_device.SetHooks(std::move(hooks));
    m_view.ShowRunning(false);
}

BoardSearchSession::~BoardSearchSession() {
    if (m_scanner)
        m_device.Disconnect();
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
    if (m_scanner)
        return;
    const DeviceState state = m_tools.Dialog().GetDevice().GetState();
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
    {
        std::lock_guard<std::recursive_mutex> hold(m_device.GetLock());
        m_device.SetProtocol(base.protocolType);
    }
    m_device.SetConfig(base);
    m_scanner = std::make_unique<BoardScanner>(m_device, base, plan);
    m_worstCaseSeconds = BoardScanner::WorstCaseSeconds(plan, base.commType);
    m_started = std::chrono::steady_clock::now();
    m_found.clear();
    m_view.ClearFound();
    m_view.ShowProgress(0, m_scanner->ProbesTotal());
    m_view.ShowStatus("查找中...");
    m_view.ShowRunning(true);
    m_view.StartStepping();
}

void BoardSearchSession::Cancel() {
    if (m_scanner)
        m_scanner->Cancel();
}

void BoardSearchSession::OnStep() {
    if (!m_scanner)
        return;
    const bool more = m_scanner->Step();
    const std::vector<ScanBoard> boards = GroupByBoard(m_scanner->Hits());
    for (size_t i = 0; i < boards.size(); ++i) {
        if (i >= m_found.size())
            m_view.AddFound(Describe(boards[i]));
        else if (boards[i].protocols != m_found[i].protocols)
            m_view.SetFound(i, Describe(boards[i]));
    }
    m_found = boards;
    const int64_t done = m_scanner->ProbesDone();
    const int64_t total = m_scanner->ProbesTotal();
    m_view.ShowProgress(done, total);
    if (!more) {
        Finish();
        return;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    m_view.ShowStatus(ProgressText(m_scanner->Asked(), done, total,
                                   SecondsLeft(elapsed, done, total, m_worstCaseSeconds)));
}

void BoardSearchSession::Finish() {
    m_view.StopStepping();
    std::string status;
    if (!m_scanner->Error().empty())
        status = "无法打开通信端口";
    else
        status = (m_scanner->Cancelled() ? "已取消，找到 " : "完成，找到 ") +
                 std::to_string(m_found.size()) + " 个设备";
    m_scanner.reset();
    m_device.Disconnect();
    m_view.ShowStatus(status);
    m_view.ShowRunning(false);
}

bool BoardSearchSession::Choose(size_t row) {
    const DeviceState state = m_tools.Dialog().GetDevice().GetState();
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
