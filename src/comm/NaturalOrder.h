#pragma once

#include <string>

// Orders port names so that runs of digits compare by value: ttyS2 before ttyS10,
// COM2 before COM10. A strict weak order, so it can drive std::sort.
bool NaturalLess(const std::string& a, const std::string& b);
