#pragma once

#include <string>
#include <vector>

// The serial ports a user of this machine would expect to pick from, as device
// paths (for example "/dev/ttyUSB0") or, on Windows, port names ("COM3"), in natural
// order. Only ports that can be
// opened exclusively right now are listed; a busy port is left out. Returns an
// empty list when there are none. Bounded in time.
std::vector<std::string> EnumerateSerialPorts();
