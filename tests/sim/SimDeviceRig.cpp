#include "SimDeviceRig.h"

#include <mutex>

DeviceConfig SimDeviceConfig(const SimProcess &sim, CommType commType, ProtocolType protocol) {
    DeviceConfig config;
    config.commType = commType;
    config.protocolType = protocol;
    config.slaveAddress = 1;
    // Serial answers end at a 50 ms pause, so an answer needs about 50 ms to be seen;
    // 500 ms leaves room for a busy machine.
    config.receiveTimeout = 500;
    config.retryCount = 2;
    config.serial.portName = sim.LinkPath().empty() ? sim.PtyPath() : sim.LinkPath();
    config.serial.baudRate = 115200;
    config.tcp.serverIp = "127.0.0.1";
    config.tcp.port = sim.TcpPort();
    config.tcp.timeoutMs = 2000;
    config.udp.localIp = "127.0.0.1";
    config.udp.localPort = 0;
    config.udp.remoteIp = "127.0.0.1";
    config.udp.remotePort = sim.UdpPort();
    config.udp.timeoutMs = 2000;
    return config;
}

void ApplyConfig(Device &device, const DeviceConfig &config) {
    {
        std::lock_guard<std::recursive_mutex> guard(device.GetLock());
        device.SetProtocol(config.protocolType);
    }
    device.SetConfig(config);
}

uint32_t CachedCoilWord(Device &device) {
    uint32_t word = 0;
    for (int i = 0; i < 32; ++i)
        word |= static_cast<uint32_t>(device.GetCachedCoil(i) != 0) << i;
    return word;
}

uint32_t CachedInputWord(Device &device) {
    uint32_t word = 0;
    for (int i = 0; i < 32; ++i) {
        word |= static_cast<uint32_t>(device.GetCachedInput(i) != 0) << i;
    }
    return word;
}

const char *CommName(CommType type) {
    switch (type) {
    case CommType::Serial:
        return "Serial";
    case CommType::Tcp:
        return "Tcp";
    case CommType::Udp:
        return "Udp";
    default:
        return "None";
    }
}

const char *ProtocolName(ProtocolType type) {
    switch (type) {
    case ProtocolType::ModbusRtu:
        return "ModbusRtu";
    case ProtocolType::ModbusTcp:
        return "ModbusTcp";
    case ProtocolType::Protocol55:
        return "Protocol55";
    }
    return "?";
}
