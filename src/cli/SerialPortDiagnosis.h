#pragma once

#include <string>

// Why a serial port could not be opened, as one line that says what to fix: the port is
// missing, access is denied (the dialout group), or it is busy (with the processes holding
// it where the system can tell). Empty when no reason can be found.
std::string DiagnoseSerialPort(const std::string& path);
