#include "AddressList.h"

#include <sstream>

namespace {

// A decimal address 1..255 and nothing else.
bool ParseAddress(const std::string &text, int &out) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoi(text);
    return out >= 1 && out <= 255;
}

} // namespace

bool ParseAddressList(const std::string &text, AddressSet &out) {
    AddressSet set;
    if (text == "none") {
        out = set;
        return true;
    }
    std::istringstream items(text);
    std::string item;
    bool any = false;
    while (std::getline(items, item, ',')) {
        const size_t dash = item.find('-');
        int low = 0;
        int high = 0;
        if (!ParseAddress(item.substr(0, dash), low) ||
            !ParseAddress(dash == std::string::npos ? item : item.substr(dash + 1), high) ||
            high < low)
            return false;
        for (int address = low; address <= high; ++address)
            set.set(static_cast<size_t>(address));
        any = true;
    }
    // getline drops a trailing empty item: "7," is as malformed as ",7".
    if (!any || text.back() == ',')
        return false;
    out = set;
    return true;
}
