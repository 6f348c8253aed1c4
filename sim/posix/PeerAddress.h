#pragma once

// The address of a UDP peer (sockaddr_in) on POSIX systems.
#include <netinet/in.h>
