#pragma once

#include <QString>

#include <cstdint>

// Reads a number the way the dialog reads every numeric field: leading white space is
// skipped, an optional sign and the leading decimal digits are taken, the rest ignored.
// Text without leading digits gives 0; values beyond the 32-bit range are clamped to it.
int32_t DecimalTextToInt(const QString& text);
