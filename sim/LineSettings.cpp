#include "LineSettings.h"

#include <sstream>
#include <termios.h>
#include <vector>

namespace {

struct Rate {
    int baud;
    speed_t speed;
};
const Rate kRates[] = {{300, B300},     {600, B600},       {1200, B1200},    {2400, B2400},
                       {4800, B4800},   {9600, B9600},     {19200, B19200},  {38400, B38400},
                       {57600, B57600}, {115200, B115200}, {230400, B230400}};

speed_t SpeedOf(int baud) {
    for (const Rate &rate : kRates) {
        if (rate.baud == baud)
            return rate.speed;
    }
    return B0;
}

int BaudOf(speed_t speed) {
    for (const Rate &rate : kRates) {
        if (rate.speed == speed)
            return rate.baud;
    }
    return 0;
}

int DataBitsOf(const termios &port) {
    switch (port.c_cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

char ParityOf(const termios &port) {
    if ((port.c_cflag & PARENB) == 0)
        return 'N';
    return (port.c_cflag & PARODD) != 0 ? 'O' : 'E';
}

} // namespace

bool LineSettings::Parse(const std::string &text, LineSettings &out) {
    std::vector<std::string> fields;
    std::istringstream items(text);
    for (std::string field; std::getline(items, field, ',');)
        fields.push_back(field);
    if (fields.empty() || fields.size() > 4 || text.back() == ',')
        return false;
    LineSettings line;
    auto number = [](const std::string &field, int &value) {
        if (field.empty() || field.size() > 6 ||
            field.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(field);
        return true;
    };
    if (!number(fields[0], line.baud) || SpeedOf(line.baud) == B0)
        return false;
    if (fields.size() > 1) {
        const std::string &parity = fields[1];
        if (parity != "none" && parity != "even" && parity != "odd")
            return false;
        line.parity = parity == "none" ? 'N' : parity == "even" ? 'E' : 'O';
    }
    if (fields.size() > 2 &&
        (!number(fields[2], line.dataBits) || (line.dataBits != 7 && line.dataBits != 8)))
        return false;
    if (fields.size() > 3 &&
        (!number(fields[3], line.stopBits) || (line.stopBits != 1 && line.stopBits != 2)))
        return false;
    out = line;
    return true;
}

bool LineSettings::Matches(const termios &port) const {
    // Linux's pty driver forces 8 data bits and no parity on whatever the tool sets, so
    // only the rate and the stop bits can tell a tool at other settings.
    const int stops = (port.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return cfgetospeed(&port) == SpeedOf(baud) && stops == stopBits;
}

std::string LineSettings::Text() const {
    return std::to_string(baud) + " " + std::to_string(dataBits) + parity +
           std::to_string(stopBits);
}

std::string LineSettings::Text(const termios &port) {
    LineSettings seen;
    seen.baud = BaudOf(cfgetospeed(&port));
    seen.parity = ParityOf(port);
    seen.dataBits = DataBitsOf(port);
    seen.stopBits = (port.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return seen.Text();
}
