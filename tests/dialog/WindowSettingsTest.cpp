#include <gtest/gtest.h>

#include <functional>

#include "dialog/IniSettingsStore.h"
#include "dialog/ScratchFolder.h"
#include "dialog/WindowSettings.h"

namespace fs = std::filesystem;

namespace {

// A settings file in a folder of its own that does not exist yet.
struct ScratchFile : ScratchFolder {
    const fs::path file = path / "sub" / "vornak.ini";
    void Write(const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
};

WindowSettings LoadFrom(const fs::path& path) {
    IniSettingsStore store(path.u8string());
    store.Load();
    return WindowSettings::Load(store);
}

TEST(WindowSettingsTest, EveryFieldSurvivesTheFileAndClearGivesDefaultsAgain) {
    WindowSettings s;
    s.protocol = ProtocolType::Protocol55;
    s.transport = CommType::None;
    s.address = "247";
    s.serialPort = "/dev/ttyUSB0";
    s.baudRate = 115200;
    s.dataBits = 7;
    s.stopBitsIndex = 2;
    s.parityIndex = 1;
    s.tcpServer = "板卡=主机 \\ [a]"; // characters the file format itself uses
    s.tcpPort = "65535";
    s.udpLocalIp = " 127.0.0.1";
    s.udpLocalPort = "1502";
    s.udpRemoteIp = "127.0.0.2";
    s.udpRemotePort = "2502";
    s.pollEnabled = false;
    s.pollInterval = "250";
    s.receiveTimeout = 250;
    s.retryCount = 10;
    s.heartbeatTimeout = 1000;

    // A first start finds no file: the defaults, which are the window's start-up values.
    ScratchFile scratch;
    IniSettingsStore store(scratch.file.u8string());
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(WindowSettings::Load(store), WindowSettings());
    s.Save(store);
    ASSERT_TRUE(store.Sync());
    EXPECT_EQ(LoadFrom(scratch.file), s);

    store.Clear();
    ASSERT_TRUE(store.Sync());
    EXPECT_EQ(LoadFrom(scratch.file), WindowSettings());

    // A folder that cannot be made fails the save and loses nothing already there.
    std::ofstream(scratch.path / "blocker") << "x";
    IniSettingsStore blocked((scratch.path / "blocker" / "vornak.ini").u8string());
    s.Save(blocked);
    EXPECT_FALSE(blocked.Sync());
}

TEST(WindowSettingsTest, BrokenOrHostileValuesFallBackFieldByField) {
    static const char kGarbage[] = "\x00\xFF\xFE=\n[\n=\n]]]\nprotocol\n";
    std::string overlong(300, 'a');
    std::string huge = "[tcp]\nport=502\n" + std::string(IniSettingsStore::kMaxFileBytes, '#') +
                       "\n[udp]\nremotePort=9\n";
    using Change = std::function<void(WindowSettings&)>;
    const Change none = [](WindowSettings&) {};
    const std::pair<std::string, Change> cases[] = {
        {"protocol=7\ntransport=-1\n", none},
        {"protocol=2\ntransport=3\n",
         [](WindowSettings& s) {
             s.protocol = ProtocolType::Protocol55, s.transport = CommType::Udp;
         }},
        // Typed rules: the address keeps its low 8 bits, a short interval becomes 100.
        {"address=300\n[poll]\nintervalMs=50\nenabled=0\n",
         [](WindowSettings& s) {
             s.address = "44", s.pollInterval = "100", s.pollEnabled = false;
         }},
        {"address=abc\n[poll]\nintervalMs=-5\nenabled=yes\n", none},
        {"[poll]\nintervalMs=0\n", [](WindowSettings& s) { s.pollInterval = "100"; }},
        {"[serial]\nbaud=12345\ndataBits=9\nstopBits=3\nparity=-1\nport=" + overlong + "\n", none},
        // The smallest code point of each UTF-8 length is well formed.
        {"[serial]\nbaud=4800\nport=COM\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80\n",
         [](WindowSettings& s) {
             s.baudRate = 4800, s.serialPort = "COM\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80";
         }},
        {"[tcp]\nserver=1.2.3.4\\n5\nport=70000\n[udp]\nlocalIp=\xC0\xAF\nremoteIp=\xED\xA0\x80\n"
         "localPort=0x10\nremotePort=99999999999\n",
         none},
        {"[link]\nreceiveTimeoutMs=5\nretryCount=0\nheartbeatTimeoutMs=99999999999\n", none},
        {"[link]\nreceiveTimeoutMs=60000\nretryCount=1\nheartbeatTimeoutMs=3600000\n",
         [](WindowSettings& s) {
             s.receiveTimeout = 60000, s.retryCount = 1, s.heartbeatTimeout = 3600000;
         }},
        {std::string(kGarbage, sizeof kGarbage - 1), none},
        {huge, [](WindowSettings& s) { s.tcpPort = "502"; }},
    };
    for (const auto& [content, change] : cases) {
        ScratchFile scratch;
        scratch.Write(content);
        WindowSettings expected;
        change(expected);
        EXPECT_EQ(LoadFrom(scratch.file), expected) << content.substr(0, 80);
    }
}

} // namespace
