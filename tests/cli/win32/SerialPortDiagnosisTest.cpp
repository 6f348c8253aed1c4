// The command-line tool's port diagnosis in Windows terms, under wine.
#include <gtest/gtest.h>

#include "cli/SerialPortDiagnosis.h"

namespace {

TEST(SerialPortDiagnosis, AMissingPortIsNamedMissingWithWhereToLook) {
    for (const char* port : {"COM77", "\\\\.\\COM78", "COM250"}) {
        const std::string reason = DiagnoseSerialPort(port);
        EXPECT_NE(reason.find(std::string("serial port ") + port + " does not exist"),
                  std::string::npos)
            << reason;
        EXPECT_NE(reason.find("Device Manager"), std::string::npos) << reason;
    }
}

} // namespace
