#include "comm/EnumerateSerialPorts.h"

#include "comm/posix/SerialPortScanner.h"

std::vector<std::string> EnumerateSerialPorts() {
    return SerialPortScanner().List();
}
