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
    // After a failed attempt, wait until the line has been quiet for receiveTimeout, so that
    // a late answer is dropped instead of taken for the next request. A caller that asks
    // every hit twice anyway (the board search) may spare the wait.
    bool settleAfterFailure = true;
};
