#include "comm/NaturalOrder.h"

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Compare the runs by value: skip leading zeros, then longer is larger.
            size_t ai = i, bj = j;
            while (ai < a.size() && a[ai] == '0')
                ++ai;
            while (bj < b.size() && b[bj] == '0')
                ++bj;
            size_t ae = ai, be = bj;
            while (ae < a.size() && digit(a[ae]))
                ++ae;
            while (be < b.size() && digit(b[be]))
                ++be;
            if (ae - ai != be - bj)
                return ae - ai < be - bj;
            const int c = a.compare(ai, ae - ai, b, bj, be - bj);
            if (c != 0)
                return c < 0;
            i = ae;
            j = be;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal by value ("ttyS01" and "ttyS1"): keep a total order
}
