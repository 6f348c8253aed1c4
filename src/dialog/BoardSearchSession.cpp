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

std::string BoardSearchSession::Describe(const ScanHit& hit) {
    std::string text = "地址 " + std::to_string(hit.address) + "  " + ProtocolName(hit.protocol);
    if (hit.serial) {
        text += "  " + std::to_string(hit.baudRate) + " " +
                kParityNames[hit.parity <= 2 ? hit.parity : 0];
    }
    return text;
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
    m_found.clear();
    m_view.ClearFound();
    m_view.ShowStatus("查找中...");
    m_view.ShowRunning(true);
    std::weak_ptr<BoardSearchSession*> alive = m_alive;
    m_tools.Dialog().Submit([base, plan, hooks = m_hooks, cancel = m_cancel,
                             &dialog = m_tools.Dialog(),
                             alive](Device&) { Search(base, plan, hooks, cancel, dialog, alive); });
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
    for (bool more = true; more;) {
        if (*cancel)
            scanner.Cancel();
        more = scanner.Step();
        dialog.Post([alive, hits = scanner.Hits(), done = scanner.ProbesDone(),
                     total = scanner.ProbesTotal()] {
            if (const std::shared_ptr<BoardSearchSession*> session = alive.lock())
                (*session)->ShowProbe(hits, done, total);
        });
    }
    device.Disconnect();
    // A cancelled open is no transport that cannot be opened.
    const bool cancelled = scanner.Cancelled() || *cancel;
    std::string status;
    if (!scanner.Error().empty() && !cancelled)
        status = "无法打开: " + scanner.Error();
    else
        status = std::string(cancelled ? "已取消，找到 " : "完成，找到 ") +
                 std::to_string(scanner.Hits().size()) + " 个设备";
    dialog.Post([alive, status] {
        if (const std::shared_ptr<BoardSearchSession*> session = alive.lock())
            (*session)->Finish(status);
    });
}

void BoardSearchSession::ShowProbe(const std::vector<ScanHit>& hits, int64_t done, int64_t total) {
    for (size_t i = m_found.size(); i < hits.size(); ++i) {
        m_found.push_back(hits[i]);
        m_view.AddFound(Describe(hits[i]));
    }
    m_view.ShowProgress(done, total);
}

void BoardSearchSession::Finish(const std::string& status) {
    m_cancel.reset();
    m_view.ShowStatus(status);
    m_view.ShowRunning(false);
}

bool BoardSearchSession::Choose(size_t row) {
    const DeviceState state = m_tools.Dialog().Shown().state;
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
