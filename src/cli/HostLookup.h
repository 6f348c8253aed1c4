#pragma once

#include <string>

// The numeric address (dotted IPv4 or IPv6 text) of host, a name or an address; a name
// with an IPv4 address gets that one, as a board on a line is usually reached over IPv4.
// Empty when the name does not resolve. May wait as long as the system's resolver does.
std::string LookUpHost(const std::string& host);
