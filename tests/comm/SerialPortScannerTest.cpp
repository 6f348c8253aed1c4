// Port discovery over a prepared sysfs/dev tree whose device nodes are pseudo-terminals,
// and once over this machine.
#include "comm/posix/SerialPortScanner.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/EnumerateSerialPorts.h"
#include "comm/SerialCommunication.h"
#include "support/PtyPair.h"

namespace {

using Names = std::vector<std::string>;

struct TempDir {
    char path[32] = "/tmp/vornak-ports-XXXXXX";
    bool ok = mkdtemp(path) != nullptr;
    ~TempDir() { std::filesystem::remove_all(path); }
};

TEST(SerialPortScanner, ListsFreeRealPortsInNaturalOrder) {
    TempDir root;
    ASSERT_TRUE(root.ok);
    const std::string sys = root.path + std::string("/sys"), dev = root.path + std::string("/dev");
    const struct {
        const char* name;
        bool parent, node; // a parent device in sysfs; a device node in dev
        int type;          // the UART type sysfs gives, -1 for none
    } entries[] = {{"ttyUSB10", true, true, -1}, {"ttyUSB2", true, true, -1},
                   {"ttyACM0", true, true, -1},  {"ttyAMA0", true, true, -1},
                   {"ttyS1", true, true, 4},     {"ttyS5", true, true, 0}, // no UART found
                   {"tty3", false, true, -1},    {"rfcomm0", false, true, -1},
                   {"ttyUSB9", true, false, -1}, {"ttyUSB7", true, true, -1}}; // busy below
    std::vector<std::unique_ptr<PtyPair>> ptys;
    std::filesystem::create_directories(dev);
    for (const auto& e : entries) {
        const std::string entry = sys + "/" + e.name;
        std::filesystem::create_directories(e.parent ? entry + "/device" : entry);
        if (e.type >= 0)
            std::ofstream(entry + "/type") << e.type << "\n";
        if (e.node) {
            ptys.push_back(std::make_unique<PtyPair>());
            std::filesystem::create_symlink(ptys.back()->SlavePath(), dev + "/" + e.name);
        }
    }
    SerialCommunication holder;
    const SerialConfig busy{dev + "/ttyUSB7"};
    holder.Configure(&busy);
    ASSERT_TRUE(holder.Open());
    auto names = [&](const std::string& sysDir) {
        Names out;
        for (const std::string& path : SerialPortScanner(sysDir, dev).List())
            out.push_back(path.substr(dev.size() + 1));
        return out;
    };
    EXPECT_EQ(names(sys), Names({"rfcomm0", "ttyACM0", "ttyAMA0", "ttyS1", "ttyUSB2", "ttyUSB10"}));
    holder.Close();
    // Without sysfs the known port families, ttyS among them, are looked for in dev.
    EXPECT_EQ(names(sys + "-missing"), Names({"rfcomm0", "ttyACM0", "ttyAMA0", "ttyS1", "ttyS5",
                                              "ttyUSB2", "ttyUSB7", "ttyUSB10"}));
}

TEST(EnumerateSerialPorts, ThisMachineGivesAShortListOfCharacterDevicesQuickly) {
    const auto start = std::chrono::steady_clock::now();
    const Names ports = EnumerateSerialPorts();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_LE(ports.size(), 64u);
    for (const std::string& p : ports) {
        struct stat st {};
        EXPECT_TRUE(p.rfind("/dev/", 0) == 0 && p.find("/dev/pts/") == std::string::npos &&
                    p.find("/dev/tty0") == std::string::npos)
            << p;
        EXPECT_TRUE(stat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << p;
    }
}

} // namespace
