#pragma once

#include "device/Device.h"
#include "support/SimProcess.h"

// Settings that point a Device at a running simulator, with time-outs generous enough for
// a loaded machine (a serial answer ends at a 50 ms pause). Handed over as the window does:
// the protocol object first, under the device's lock.
inline void ConfigureForSim(Device& device, const SimProcess& sim, CommType commType,
                            ProtocolType protocol, int32_t receiveTimeout, int32_t heartbeat) {
    DeviceConfig config;
    config.commType = commType;
    config.protocolType = protocol;
    config.receiveTimeout = receiveTimeout;
    config.retryCount = 2;
    config.heartbeatTimeout = heartbeat;
    config.serial.portName = sim.LinkPath().empty() ? sim.PtyPath() : sim.LinkPath();
    config.serial.baudRate = 115200;
    config.tcp = {"127.0.0.1", sim.TcpPort(), 2000};
    config.udp = {"127.0.0.1", 0, "127.0.0.1", sim.UdpPort(), 2000};
    device.SetProtocol(protocol);
    device.SetConfig(config);
}

// The device's cached coils or inputs as a word, bit k = point k.
inline uint32_t CachedWord(Device& device, bool coils) {
    uint32_t word = 0;
    for (int i = 0; i < 32; ++i)
        word |= uint32_t((coils ? device.GetCachedCoil(i) : device.GetCachedInput(i)) != 0) << i;
    return word;
}

inline std::string NameOf(CommType type) {
    return type == CommType::Serial ? "Serial" : type == CommType::Tcp ? "Tcp" : "Udp";
}
inline std::string NameOf(ProtocolType type) {
    return type == ProtocolType::ModbusRtu   ? "Rtu"
           : type == ProtocolType::ModbusTcp ? "Mbap"
                                             : "Relay";
}
