#pragma once

#include <bitset>
#include <string>

// A set of device addresses 1..255, bit k = address k.
using AddressSet = std::bitset<256>;

// Reads "7", "2-9" or "1,5,7-9" (decimal, 1..255, ranges inclusive) into `out`; "none" is
// the empty set. False, with `out` unchanged, for anything else.
bool ParseAddressList(const std::string &text, AddressSet &out);
