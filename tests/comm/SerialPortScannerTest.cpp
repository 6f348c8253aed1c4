// The port listing over a prepared sysfs/dev tree whose device nodes are pseudo-terminals,
// and once over the live system.
#include "comm/posix/SerialPortScanner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "comm/EnumerateSerialPorts.h"
#include "comm/SerialCommunication.h"
#include "support/PtyPair.h"

namespace {

using Clock = std::chrono::steady_clock;

class FakeTree {
public:
    FakeTree() {
        char tmpl[] = "/tmp/vornak-ports-XXXXXX";
        if (mkdtemp(tmpl) != nullptr)
            root = tmpl;
        mkdir(Sys().c_str(), 0700);
        mkdir(Dev().c_str(), 0700);
    }
    ~FakeTree() {
        if (!root.empty())
            std::system(("rm -rf '" + root + "'").c_str());
    }
    std::string Sys() const { return root + "/sys"; }
    std::string Dev() const { return root + "/dev"; }

    // A terminal entry: withDevice gives it a parent device, type writes a UART type.
    void AddTty(const std::string& name, bool withDevice, int type = -1) {
        const std::string entry = Sys() + "/" + name;
        mkdir(entry.c_str(), 0700);
        if (withDevice)
            mkdir((entry + "/device").c_str(), 0700);
        if (type >= 0) {
            FILE* f = fopen((entry + "/type").c_str(), "we");
            fprintf(f, "%d\n", type);
            fclose(f);
        }
    }
    // A device node for name, backed by a fresh pseudo-terminal; returns its path.
    std::string AddNode(const std::string& name) {
        ptys.push_back(std::make_unique<PtyPair>());
        const std::string path = Dev() + "/" + name;
        symlink(ptys.back()->SlavePath().c_str(), path.c_str());
        return path;
    }

    std::string root;

private:
    std::vector<std::unique_ptr<PtyPair>> ptys;
};

TEST(SerialPortScanner, ListsRealPortsInNaturalOrderAndLeavesTheRestOut) {
    FakeTree tree;
    ASSERT_FALSE(tree.root.empty());
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyAMA0"}) {
        tree.AddTty(name, true);
        tree.AddNode(name);
    }
    tree.AddTty("ttyS1", true, 4); // a UART answered there
    tree.AddNode("ttyS1");
    tree.AddTty("ttyS5", true, 0); // legacy entry without a UART
    tree.AddNode("ttyS5");
    tree.AddTty("tty3", false); // a virtual console
    tree.AddNode("tty3");
    tree.AddTty("rfcomm0", false); // Bluetooth link: no parent device, still a port
    tree.AddNode("rfcomm0");
    tree.AddTty("ttyUSB9", true); // entry without a device node
    tree.AddTty("ttyUSB7", true); // busy: held by a transport
    const std::string busy = tree.AddNode("ttyUSB7");

    SerialCommunication holder;
    SerialConfig c;
    c.portName = busy;
    holder.Configure(&c);
    ASSERT_TRUE(holder.Open());

    const std::string d = tree.Dev() + "/";
    const std::vector<std::string> expected = {d + "rfcomm0", d + "ttyACM0", d + "ttyAMA0",
                                               d + "ttyS1",   d + "ttyUSB2", d + "ttyUSB10"};
    EXPECT_EQ(SerialPortScanner(tree.Sys(), tree.Dev()).List(), expected);

    holder.Close();
    EXPECT_EQ(SerialPortScanner(tree.Sys(), tree.Dev()).List().size(), expected.size() + 1);
}

TEST(SerialPortScanner, WithoutSysfsLooksForPortFamiliesInDev) {
    FakeTree tree;
    ASSERT_FALSE(tree.root.empty());
    tree.AddNode("ttyUSB0");
    tree.AddNode("tty1");
    tree.AddNode("ttyACM3");
    const std::string d = tree.Dev() + "/";
    EXPECT_EQ(SerialPortScanner(tree.root + "/missing", tree.Dev()).List(),
              (std::vector<std::string>{d + "ttyACM3", d + "ttyUSB0"}));
}

TEST(SerialPortScanner, NaturalOrder) {
    const std::pair<const char*, const char*> ordered[] = {
        {"ttyS2", "ttyS10"}, {"ttyS9", "ttyS10"},   {"ttyACM0", "ttyS0"},
        {"ttyS1", "ttyS1a"}, {"ttyS01", "ttyS1"},   {"ttyS007", "ttyS10"},
        {"a", "b"},          {"ttyUSB", "ttyUSB0"}, {"ttyS1x2", "ttyS1x10"},
    };
    for (const auto& [a, b] : ordered) {
        EXPECT_TRUE(SerialPortScanner::NaturalLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(SerialPortScanner::NaturalLess(b, a)) << b << " !< " << a;
    }
    EXPECT_FALSE(SerialPortScanner::NaturalLess("ttyS3", "ttyS3"));
}

TEST(EnumerateSerialPorts, LiveSystemGivesAShortListQuickly) {
    const auto t0 = Clock::now();
    const std::vector<std::string> ports = EnumerateSerialPorts();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(ms, 3000);
    EXPECT_LE(ports.size(), 64u);
    for (const std::string& p : ports) {
        EXPECT_EQ(p.rfind("/dev/", 0), 0u) << p;
        EXPECT_EQ(p.find("/dev/pts/"), std::string::npos) << p;
        EXPECT_EQ(p.find("/dev/tty0"), std::string::npos) << p;
        struct stat st {};
        EXPECT_TRUE(stat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << p;
    }
}

} // namespace
