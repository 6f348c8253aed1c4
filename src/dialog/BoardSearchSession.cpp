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

std::string BoardSearchSession::Describe(const ScanHit& hit) {
    std::string text = "地址 " + std::to_string(hit.address) + "  " + ProtocolName(hit.protocol);
    if (hit.serial) {
        text += "  " + std::to_string(hit.baudRate) + " " +
                kParityNames[hit.parity <= 2 ? hit.parity : 0];
    }
    return text;
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
    const std::vector<ScanHit>& hits = m_scanner->Hits();
    for (size_t i = m_found.size(); i < hits.size(); ++i) {
        m_found.push_back(hits[i]);
        m_view.AddFound(Describe(hits[i]));
    }
    m_view.ShowProgress(m_scanner->ProbesDone(), m_scanner->ProbesTotal());
    if (!more)
        Finish();
}

void BoardSearchSession::Finish() {
    m_view.StopStepping();
    std::string status;
    if (!m_scanner->Error().empty())
        status = "无法打开: " + m_scanner->Error();
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
    const ScanHit& hit = m_found[row];
    WindowSettings settings = m_tools.Collect();
    settings.protocol = hit.protocol;
    settings.address = std::to_string(hit.address);
    if (hit.serial) {
        settings.baudRate = hit.baudRate;
        settings.parityIndex = static_cast<int32_t>(hit.parity <= 2 ? hit.parity : 0);
    }
    m_tools.Apply(settings);
    return true;
}
