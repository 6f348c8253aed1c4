#pragma once

#include <cstdint>

#include "comm/ICommunication.h"
#include "protocol/IProtocol.h"

// Every setting of a Device, with the built-in defaults.
struct DeviceConfig {
    CommType commType = CommType::None;
    SerialConfig serial;
    TcpConfig tcp;
    UdpConfig udp;
    uint8_t slaveAddress = 1;
    int32_t receiveTimeout = 100;    // ms, one receive attempt
    int32_t retryCount = 3;          // send attempts and, separately, receive attempts
    int32_t heartbeatTimeout = 5000; // ms of silence before Offline
    ProtocolType protocolType = ProtocolType::ModbusRtu;
};
