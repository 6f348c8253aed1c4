#pragma once

#include <cstdint>
#include <string>

// Reads a number the way the dialog reads every numeric field (UTF-8 text): leading white
// space is skipped, an optional sign and the leading ASCII digits are taken, the rest is
// ignored. Text without leading digits gives 0; values beyond the 32-bit range are clamped.
int32_t DecimalTextToInt(const std::string& text);
