#pragma once

#include <cstdint>

// Line speeds that have no B* constant go through the kernel's termios2 interface, whose
// definitions clash with <termios.h>; they live in their own file for that reason.

// Sets input and output speed of the open terminal fd to rate bits per second, leaving
// every other setting as it is; false when the driver refuses or the ioctl fails.
bool SetArbitraryBaudRate(int fd, uint32_t rate);
// Reads back the output and input speed of fd; false when the ioctl fails.
bool GetArbitraryBaudRate(int fd, uint32_t* outputRate, uint32_t* inputRate);
