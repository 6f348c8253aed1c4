#include "dialog/DecimalText.h"

#include <limits>

namespace {

// The length of the white space character at text[i], 0 for none: ASCII white space, the
// no-break space and the ideographic space a Chinese input method types.
size_t SpaceLength(const std::string& text, size_t i) {
    const char c = text[i];
    if (c == ' ' || (c >= '\t' && c <= '\r'))
        return 1;
    if (text.compare(i, 2, "\xC2\xA0") == 0)
        return 2;
    if (text.compare(i, 3, "\xE3\x80\x80") == 0)
        return 3;
    return 0;
}

} // namespace

int32_t DecimalTextToInt(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    for (size_t skip; i < n && (skip = SpaceLength(text, i)) > 0;)
        i += skip;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing past the 32-bit range, so that a long run of
    // digits cannot overflow.
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}
