#pragma once

// The address of a UDP peer (sockaddr_in) on Windows.
#include <winsock2.h>
