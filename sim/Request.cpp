#include "Request.h"

std::optional<WireProtocol> ParseWireProtocol(const std::string &name) {
    if (name == "rtu")
        return WireProtocol::ModbusRtu;
    if (name == "tcp")
        return WireProtocol::ModbusTcp;
    if (name == "55")
        return WireProtocol::Protocol55;
    return std::nullopt;
}
