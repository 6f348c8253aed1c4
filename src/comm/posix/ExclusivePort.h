#pragma once

#include <string>

// Opening a serial device so that no other cooperating user can have it at the same time:
// an flock() on the device plus the terminal's own exclusive mode. Shared by the serial
// transport and the port listing, which must agree on what "busy" means.

// Opens path read-write, non-blocking, close-on-exec, without making it the controlling
// terminal, and takes the exclusive hold. Returns the descriptor, or -1 when the path does
// not open, is not a terminal, or someone else holds the port.
int OpenExclusivePort(const std::string& path);
// Lets queued output leave for at most 500 ms (discarding what is left then), gives up the
// exclusive hold and closes fd (once); a negative fd is ignored.
void CloseExclusivePort(int fd);
