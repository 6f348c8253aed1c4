// The window's behaviour against a fake window and a Device on scripted transports with a
// fake clock: start-up, selectors, settings, connect paths, buttons, poll, timers and the
// order of the lines in the panes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "dialog/FakeDialogView.h"
#include "dialog/InlineJobQueue.h"
#include "dialog/MainDlgIds.h"
#include "history/IChangeWriter.h"
#include "protocol/ModbusProtocol.h"
#include "support/ScriptedCommunication.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
constexpr int64_t kNsPerMs = 1000000;
constexpr Rgb kGreyBk{241, 241, 0}, kOnBk{50, 255, 50}, kOffBk{240, 0, 0};

// A Modbus RTU frame of device 1 with its CRC.
Bytes Rtu(Bytes frame) {
    frame.insert(frame.begin(), 0x01);
    const uint16_t crc = ModbusProtocol::CalcCrc16(frame.data(), int32_t(frame.size()));
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));
    return frame;
}
// Answers to a read of 32 coils (coils 0 and 5 on) and of 32 inputs (inputs 2 and 7 on).
const Bytes kCoils = Rtu({0x01, 0x04, 0x21, 0x00, 0x00, 0x00});
const Bytes kInputs = Rtu({0x02, 0x04, 0x84, 0x00, 0x00, 0x00});

const std::string kGotCoils = "接收: 01 01 04 21 00 00 00 F1 ED ";
const std::string kGotInputs = "接收: 01 02 04 84 00 00 00 D3 12 ";

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.dialog = &dialog;
        dialog.SetDeviceHooks({[this](CommType kind) -> std::unique_ptr<ICommunication> {
                                   return std::make_unique<ScriptedCommunication>(kind, script);
                               },
                               [this] { return nowMs * kNsPerMs; }, [](int32_t) {}});
        dialog.OnInitDialog();
    }

    void Answer(std::initializer_list<Bytes> frames) {
        for (const Bytes& frame : frames)
            script->replies.push_back(CommScript::Data(frame));
    }
    // Connects over TCP; the board answers the reads that follow with kCoils and kInputs.
    void ConnectTcp() {
        if (!view.checks[IDC_USE_TCP])
            view.Click(IDC_USE_TCP);
        Answer({kCoils, kInputs});
        view.Click(IDC_TCP_CONNECT);
    }
    // The lines of a pane added since the last call.
    Lines New(int32_t paneId) {
        Lines lines = view.Lines(paneId);
        size_t& seen = paneId == IDC_SEND_LOG ? seenSent : seenReceived;
        Lines added(lines.begin() + long(std::min(seen, lines.size())), lines.end());
        seen = lines.size();
        return added;
    }
    std::string Caption(int32_t id) { return view.looks[id].caption; }
    bool AllGrey() {
        bool grey = true;
        for (int32_t i = 0; i < 64; ++i) {
            const auto& look = view.looks[(i < 32 ? IDC_COIL_BASE : IDC_INPUT_BASE - 32) + i];
            grey = grey && look.caption == std::to_string(i % 32) + "\n---" &&
                   look.background == kGreyBk && look.text == Rgb{128, 128, 128};
        }
        return grey;
    }
    std::string Flags(std::initializer_list<int32_t> ids, std::map<int32_t, bool>& of) {
        std::string flags;
        for (int32_t id : ids)
            flags += of[id] ? '1' : '0';
        return flags;
    }

    std::shared_ptr<CommScript> script = std::make_shared<CommScript>();
    int64_t nowMs = 1000;
    FakeDialogView view;
    std::unique_ptr<InlineJobQueue> ownQueue = std::make_unique<InlineJobQueue>();
    InlineJobQueue& queue = *ownQueue;
    MainDialog dialog{view,
                      [] {
                          return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB1"};
                      },
                      std::move(ownQueue)};
    size_t seenSent = 0, seenReceived = 0;
};

const auto kSelectors = {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP};

TEST_F(MainDialogTest, StartUpShowsTheDefaultsAndConnectsNothing) {
    EXPECT_EQ(view.title, "Vornak V1.00");
    EXPECT_EQ(view.combos[IDC_ADDRESS_COMBO].items.size(), 256u);
    std::string shown;
    for (int32_t id :
         {IDC_ADDRESS_COMBO, IDC_PORT_COMBO, IDC_BAUD_COMBO, IDC_DATABITS_COMBO, IDC_STOPBITS_COMBO,
          IDC_PARITY_COMBO, IDC_TCP_SERVER, IDC_TCP_PORT, IDC_UDP_LOCAL_IP, IDC_UDP_LOCAL_PORT,
          IDC_UDP_REMOTE_IP, IDC_UDP_REMOTE_PORT, IDC_POLL_INTERVAL})
        shown += view.GetText(id) + "|";
    EXPECT_EQ(shown, "1|/dev/ttyS0|9600|8|1|无校验|192.168.1.110|6000|0.0.0.0|0|192.168.1.110|"
                     "6000|1000|");
    EXPECT_EQ(view.texts.count(IDC_SERIAL_STATUS) + view.texts.count(IDC_TCP_STATUS), 0u);
    EXPECT_EQ(Flags({IDC_PROTO_RTU, IDC_PROTO_55, IDC_PROTO_TCP, IDC_USE_SERIAL, IDC_USE_TCP,
                     IDC_USE_UDP, IDC_POLL_ENABLE},
                    view.checks),
              "1001001");
    EXPECT_EQ(Flags({IDC_GROUP_SERIAL, IDC_PORT_COMBO, IDC_SERIAL_OPEN, IDC_REFRESH_PORTS,
                     IDC_POLL_INTERVAL, IDC_POLL_ENABLE, IDC_GROUP_TCP, IDC_TCP_SERVER,
                     IDC_TCP_CONNECT, IDC_TCP_DISCONNECT, IDC_GROUP_UDP, IDC_UDP_REMOTE_IP,
                     IDC_UDP_CONNECT, IDC_INPUT_BASE, IDC_INPUT_BASE + 31},
                    view.enabled),
              "111111000000011");
    EXPECT_TRUE(AllGrey());
    EXPECT_TRUE(view.timers.empty() && view.queue.empty() && view.panes.empty());
    const DeviceConfig c = dialog.Config();
    EXPECT_EQ(std::tie(c.protocolType, c.commType, c.tcp.serverIp, c.udp.remotePort),
              std::make_tuple(ProtocolType::ModbusRtu, CommType::Serial, "127.0.0.1", 502u));

    // Clicks before any connect send nothing and say why; nor does the connect of a pane whose
    // box was ticked (which enables the pane) and unticked again.
    view.Click(IDC_USE_UDP);
    EXPECT_TRUE(view.enabled[IDC_UDP_CONNECT]);
    view.Click(IDC_USE_UDP);
    dialog.OnCommand(IDC_UDP_CONNECT);
    view.Click(IDC_COIL_BASE + 3);
    view.Click(IDC_INPUT_BASE + 7);
    EXPECT_EQ(New(IDC_SEND_LOG), Lines({"错误: 设备未连接", "错误: 设备未连接"}));
    EXPECT_TRUE(script->sent.empty() && AllGrey());
}

// Typed text applies at once, as a saturated decimal cut to its low 8 bits; a choice from
// the list too.
TEST_F(MainDialogTest, FieldsReachTheSettings) {
    // The ideographic space before 12 is white space; full-width digits are no digits.
    // clang-format off
    const std::pair<std::string, int> rows[] = {
        {"99999999999999999998", 255}, {"-99999999999999999998", 0}, {"300", 44}, {"abc", 0},
        {"17x", 17}, {"-1", 255}, {" \t+77", 77}, {"\u300012", 12}, {"\uFF11\uFF12", 0}};
    // clang-format on
    for (const auto& [typed, address] : rows) {
        view.Type(IDC_ADDRESS_COMBO, typed);
        EXPECT_EQ(dialog.Config().slaveAddress, address) << typed;
    }
    view.SelectComboItem(IDC_ADDRESS_COMBO, 200);
    dialog.OnComboChange(IDC_ADDRESS_COMBO);
    EXPECT_EQ(dialog.Config().slaveAddress, 200);

    // The serial connect reads its lists by item text or, for stop bits and parity, position.
    view.SelectComboItem(IDC_PORT_COMBO, 1);
    view.SelectComboItem(IDC_BAUD_COMBO, 4);
    view.SelectComboItem(IDC_STOPBITS_COMBO, 2);
    view.SelectComboItem(IDC_PARITY_COMBO, 1);
    view.Type(IDC_ADDRESS_COMBO, "7");
    view.Click(IDC_SERIAL_OPEN);
    const SerialConfig& serial = script->serial;
    EXPECT_EQ(
        std::tie(serial.portName, serial.baudRate, serial.dataBits, serial.stopBits, serial.parity),
        std::make_tuple("/dev/ttyUSB1", 115200u, 8u, 2u, 1u));
    EXPECT_EQ(dialog.Config().slaveAddress, 7);
}

// A connect shows its outcome, reads every state at once, starts the poll and the heartbeat;
// the lines come in the order things happened. The point history holds what the answers said,
// from the first connect, and every point is unknown after a disconnect.
TEST_F(MainDialogTest, ConnectReadsEverythingAndDisconnectClears) {
    EXPECT_FALSE(dialog.HistoryNowUs());
    ConnectTcp();
    const PointHistory& history = dialog.History();
    std::string levels;
    for (int32_t point : {0, 5, 6, 32 + 2, 32 + 7, 32 + 8})
        levels += LevelChar(history.Current(point));
    EXPECT_EQ(levels, "110110");
    EXPECT_TRUE(dialog.HistoryNowUs());
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "已连接");
    EXPECT_EQ(New(IDC_RECV_LOG), Lines({"正在连接...", "连接成功", kGotCoils, kGotInputs}));
    EXPECT_EQ(New(IDC_SEND_LOG),
              Lines({"定时查询已启动，间隔: 1000 ms", "连接成功，正在读取所有状态...",
                     "发送: 01 01 00 00 00 20 3D D2 ", "发送: 01 02 00 00 00 20 79 D2 "}));
    EXPECT_EQ(Caption(IDC_COIL_BASE + 5) + Caption(IDC_COIL_BASE + 6), "5 ON6 OFF");
    EXPECT_EQ(view.looks[IDC_INPUT_BASE + 7].background, kOnBk);
    EXPECT_EQ(view.looks[IDC_INPUT_BASE + 6].background, kOffBk);
    EXPECT_EQ(Flags(kSelectors, view.enabled), "000");
    EXPECT_EQ(view.timers, (std::map<int32_t, int32_t>{
                               {TIMER_HEARTBEAT, 1000}, {TIMER_POLL, 1000}, {TIMER_STATS, 1000}}));
    // The statistics line counts this connection's two reads, each second.
    const std::string twoReads = "请求 2  成功 2  失败 0  往返 ms: 最小 0.0  平均 0.0  P95 0.0  "
                                 "最大 0.0"; // the device's clock stands still here
    EXPECT_TRUE(view.Tick(TIMER_STATS));
    EXPECT_EQ(view.texts[IDC_LINK_STATS], twoReads);
    // The 0x55 protocol cannot read inputs: under it they look unknown, neither ON nor OFF.
    view.Click(IDC_PROTO_55);
    EXPECT_EQ(Caption(IDC_INPUT_BASE + 7) + Caption(IDC_COIL_BASE + 5), "7\n---5 ON");
    EXPECT_EQ(view.looks[IDC_INPUT_BASE + 6].background, kGreyBk);
    view.Click(IDC_PROTO_RTU);
    EXPECT_EQ(Caption(IDC_INPUT_BASE + 7), "7 ON");

    // A connect again with the same settings keeps the connection and restarts the timers;
    // with a changed port it closes the connection and opens one with it.
    view.Click(IDC_TCP_CONNECT);
    EXPECT_EQ(script->closed, 0);
    EXPECT_EQ(New(IDC_SEND_LOG), Lines({"定时查询已启动，间隔: 1000 ms"}));
    view.Type(IDC_TCP_PORT, "1502");
    Answer({kCoils, kInputs});
    view.Click(IDC_TCP_CONNECT);
    EXPECT_EQ(std::tie(script->closed, script->tcp.port), std::make_tuple(1, 1502u));
    EXPECT_EQ(New(IDC_RECV_LOG),
              Lines({"已断开连接", "正在连接...", "连接成功", kGotCoils, kGotInputs}));
    EXPECT_EQ(view.texts[IDC_TCP_STATUS] + Caption(IDC_COIL_BASE + 5), "已连接5 ON");
    EXPECT_TRUE(view.Tick(TIMER_STATS));
    EXPECT_EQ(view.texts[IDC_LINK_STATS], twoReads); // counted anew
    EXPECT_EQ(Flags(kSelectors, view.enabled), "000");
    New(IDC_SEND_LOG);

    view.Click(IDC_TCP_DISCONNECT);
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "未连接");
    EXPECT_EQ(New(IDC_RECV_LOG), Lines{"已断开连接"});
    EXPECT_TRUE(AllGrey());
    EXPECT_EQ(dialog.Shown().inputs[7] + dialog.Shown().coils[0], 0);
    EXPECT_EQ(Flags(kSelectors, view.enabled), "111");
    EXPECT_EQ(history.Current(0), PointLevel::Unknown);
    EXPECT_EQ(history.Current(63), PointLevel::Unknown);
    EXPECT_FALSE(dialog.HistoryNowUs());
    EXPECT_EQ(history.Size(), 4 * 64u); // known, unknown, known again, unknown
    dialog.OnMenuCommand(IDM_TIMELINE);
    EXPECT_EQ(view.timelines, 1);
    // The poll goes on and does nothing while no transport is open.
    EXPECT_EQ(view.timers, (std::map<int32_t, int32_t>{{TIMER_POLL, 1000}}));
    const size_t sent = script->sent.size();
    EXPECT_TRUE(view.Tick(TIMER_POLL) && view.Tick(TIMER_POLL));
    EXPECT_EQ(script->sent.size(), sent);
    EXPECT_TRUE(New(IDC_SEND_LOG).empty() && New(IDC_RECV_LOG).empty());
}

// A failed connect after a working one shows the error and stays there: the heartbeat
// stops, so never "掉线" again, and no poll sends anything.
TEST_F(MainDialogTest, FailedConnectStaysAnErrorAndSendsNothing) {
    ConnectTcp();
    nowMs += 6000;
    ASSERT_TRUE(view.Tick(TIMER_HEARTBEAT));
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "掉线");
    script->openResults.push_back(false);
    New(IDC_SEND_LOG);
    New(IDC_RECV_LOG);
    view.Click(IDC_TCP_CONNECT);
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "错误");
    EXPECT_EQ(New(IDC_SEND_LOG), Lines{"❌ 设备错误，请检查连接配置"});
    EXPECT_EQ(New(IDC_RECV_LOG), Lines({"正在连接...", "连接失败"}));
    EXPECT_TRUE(AllGrey());
    EXPECT_EQ(Flags(kSelectors, view.enabled), "111");
    EXPECT_EQ(view.timers.count(TIMER_HEARTBEAT), 0u);
    const size_t sent = script->sent.size();
    nowMs += 60000;
    for (int tick = 0; tick < 4; ++tick)
        view.Tick(TIMER_POLL);
    EXPECT_EQ(script->sent.size(), sent);
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "错误");
    EXPECT_TRUE(New(IDC_SEND_LOG).empty() && New(IDC_RECV_LOG).empty());
}

// The poll alternates coils and inputs at the clamped interval, and carries on where it stopped
// after a reconnect.
TEST_F(MainDialogTest, PollClampsItsIntervalAndAlternates) {
    const std::pair<const char*, int32_t> intervals[] = {{"50", 100}, {"", 100},    {"abc", 100},
                                                         {"-5", 100}, {"100", 100}, {"250", 250}};
    for (const auto& [typed, used] : intervals) {
        view.Type(IDC_POLL_INTERVAL, typed);
        view.Click(IDC_POLL_ENABLE); // off
        view.Click(IDC_POLL_ENABLE); // on
        EXPECT_EQ(dialog.TimerInterval(TIMER_POLL), used) << typed;
        EXPECT_EQ(view.timers[TIMER_POLL], used) << typed;
        EXPECT_EQ(view.GetText(IDC_POLL_INTERVAL), std::to_string(used));
        EXPECT_EQ(
            New(IDC_SEND_LOG),
            Lines({"定时查询已停止", "定时查询已启动，间隔: " + std::to_string(used) + " ms"}));
    }
    EXPECT_EQ(dialog.PollCount(), 0);

    ConnectTcp();
    std::string reads;
    for (int round = 0; round < 2; ++round) {
        for (int tick = 0; tick < 3; ++tick) {
            const size_t mark = script->sent.size();
            view.Tick(TIMER_POLL);
            reads += script->sent.size() > mark ? char('0' + script->sent.back()[1]) : '-';
        }
        view.Click(IDC_TCP_DISCONNECT);
        reads += '|';
        Answer({kCoils, kInputs});
        view.Click(IDC_TCP_CONNECT);
    }
    EXPECT_EQ(reads, "121|212|");
    EXPECT_EQ(dialog.PollCount(), 6);
    view.Click(IDC_POLL_ENABLE);
    EXPECT_EQ(view.timers.count(TIMER_POLL), 0u);
}

// A read that times out, a write the board refuses (with its rollback), a silence and the
// recovery: every line reaches its pane in the order it happened.
TEST_F(MainDialogTest, LinesKeepTheOrderOfEvents) {
    ConnectTcp();
    New(IDC_SEND_LOG);
    New(IDC_RECV_LOG);

    view.Tick(TIMER_POLL); // no answer
    EXPECT_EQ(New(IDC_RECV_LOG), Lines({"接收超时，重试 1/3", "接收超时，重试 2/3",
                                        "接收超时，重试 3/3", "操作失败 [0x01]: 接收超时"}));
    EXPECT_EQ(New(IDC_SEND_LOG), Lines{"发送: 01 01 00 00 00 20 3D D2 "});

    Answer({Rtu({0x85, 0x02})});
    view.Click(IDC_COIL_BASE + 3);
    const std::string refused = "设备1响应异常: 非法数据地址";
    EXPECT_EQ(New(IDC_SEND_LOG), Lines({"写线圈 3: OFF -> ON", "发送: 01 05 00 03 FF 00 7C 3A ",
                                        "写线圈 3 失败: " + refused}));
    EXPECT_EQ(New(IDC_RECV_LOG), Lines({"接收: 01 85 02 C3 51 ", "写线圈 3 失败，已回滚",
                                        "操作失败 [0x05]: " + refused}));
    EXPECT_EQ(Caption(IDC_COIL_BASE + 3), "3 OFF");

    nowMs += 5001; // nothing sent meanwhile: the heartbeat asks once before it declares
    view.Tick(TIMER_HEARTBEAT);
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "掉线");
    EXPECT_TRUE(AllGrey());
    EXPECT_EQ(New(IDC_SEND_LOG), Lines({"发送: 01 01 00 00 00 20 3D D2 ",
                                        "⚠ 通信超时，设备已掉线（按钮已变灰，点击可重试）",
                                        "⚠ 心跳检测超时，设备已掉线"}));
    EXPECT_EQ(New(IDC_RECV_LOG),
              Lines({"接收超时，重试 1/3", "接收超时，重试 2/3", "接收超时，重试 3/3",
                     "操作失败 [0x01]: 接收超时", "心跳超时，设备掉线"}));

    // A click while offline is a retry; the answer brings the board back without a re-read.
    Answer({Rtu({0x05, 0x00, 0x02, 0xFF, 0x00})});
    const size_t mark = script->sent.size();
    view.Click(IDC_COIL_BASE + 2);
    EXPECT_EQ(script->sent.size(), mark + 1);
    EXPECT_EQ(view.texts[IDC_TCP_STATUS], "已连接");
    EXPECT_EQ(New(IDC_SEND_LOG),
              Lines({"警告: 设备处于超时状态，操作可能失败", "写线圈 2: OFF -> ON",
                     "发送: 01 05 00 02 FF 00 2D FA ", "✅ 设备已自动恢复连接"}));
    EXPECT_EQ(New(IDC_RECV_LOG),
              Lines({"收到数据，设备自动恢复连接", "接收: 01 05 00 02 FF 00 2D FA "}));
    EXPECT_EQ(Caption(IDC_COIL_BASE + 2) + "," + Caption(IDC_INPUT_BASE + 7), "2 ON,7 ON");
}

// While the worker is busy nothing piles up and nothing is lost: a poll or heartbeat tick
// is skipped while its last one is still queued or running, and each click is one request,
// judged when its turn comes, in the order clicked.
TEST_F(MainDialogTest, WorkNeverPilesUpAndClicksKeepTheirOrder) {
    ConnectTcp();
    New(IDC_SEND_LOG);
    queue.held = true; // the worker is busy: what is asked waits its turn
    for (int32_t tick = 0; tick < 3; ++tick)
        EXPECT_TRUE(view.Tick(TIMER_POLL) && view.Tick(TIMER_HEARTBEAT));
    for (int32_t coil : {3, 3, 5})
        view.Click(IDC_COIL_BASE + coil);
    EXPECT_EQ(queue.jobs.size(), 5u); // one poll, one heartbeat, three clicks
    EXPECT_EQ(dialog.PollCount(), 1);

    const size_t mark = script->sent.size();
    Answer({kCoils, Rtu({0x05, 0x00, 0x03, 0xFF, 0x00}), Rtu({0x05, 0x00, 0x03, 0x00, 0x00}),
            Rtu({0x05, 0x00, 0x05, 0x00, 0x00})});
    queue.RunAll();
    view.Pump();
    std::string sent;
    for (size_t i = mark; i < script->sent.size(); ++i)
        sent += std::to_string(script->sent[i][1]) + ":" + std::to_string(script->sent[i][3]) +
                (script->sent[i][1] == 5 ? (script->sent[i][4] ? "+" : "-") : "") + " ";
    EXPECT_EQ(sent, "1:0 5:3+ 5:3- 5:5- ");
    const Lines lines = New(IDC_SEND_LOG);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 3),
              Lines({"写线圈 3: OFF -> ON", "发送: 01 05 00 03 FF 00 7C 3A "}));
    EXPECT_EQ(lines.size(), 7u);
    EXPECT_EQ(Caption(IDC_COIL_BASE + 3) + "," + Caption(IDC_COIL_BASE + 5), "3 OFF,5 OFF");
    // Done: the next ticks go out again.
    EXPECT_TRUE(view.Tick(TIMER_POLL) && view.Tick(TIMER_HEARTBEAT));
    EXPECT_EQ(queue.jobs.size(), 2u);
}

// "断开" calls off what the worker is waiting for: a connect (its button busy meanwhile) or a
// long read, which then neither retries nor reports a failure.
TEST_F(MainDialogTest, DisconnectCallsOffAConnectAndALongRead) {
    view.Click(IDC_USE_TCP);
    queue.held = true;
    view.Click(IDC_TCP_CONNECT);
    EXPECT_EQ(view.texts[IDC_TCP_CONNECT], "连接中...");
    view.Click(IDC_TCP_CONNECT); // busy: takes no click
    dialog.OnCommand(IDC_TCP_CONNECT);
    EXPECT_EQ(queue.jobs.size(), 2u); // the address, the connect
    EXPECT_TRUE(view.enabled[IDC_TCP_DISCONNECT]);

    // The connect's wait is under way when the operator clicks "断开".
    script->whileWaiting = [this] {
        script->whileWaiting = nullptr;
        view.Click(IDC_TCP_DISCONNECT);
    };
    queue.RunAll();
    view.Pump();
    EXPECT_EQ(New(IDC_RECV_LOG), Lines({"正在连接...", "连接已取消", "已断开连接"}));
    EXPECT_EQ(New(IDC_SEND_LOG), Lines{});
    EXPECT_EQ(view.texts[IDC_TCP_STATUS] + view.texts[IDC_TCP_CONNECT], "未连接连接");
    EXPECT_TRUE(view.enabled[IDC_TCP_CONNECT] && view.enabled[IDC_USE_TCP]);
    EXPECT_TRUE(view.timers.count(TIMER_HEARTBEAT) == 0 && script->sent.empty());

    queue.held = false;
    ConnectTcp();
    New(IDC_RECV_LOG);
    const size_t receives = script->receives.size();
    script->whileWaiting = [this] {
        script->whileWaiting = nullptr;
        view.Click(IDC_TCP_DISCONNECT);
    };
    view.Tick(TIMER_POLL);
    view.Pump();
    EXPECT_EQ(script->receives.size(), receives + 1);
    EXPECT_EQ(New(IDC_RECV_LOG), Lines{"已断开连接"});
    EXPECT_TRUE(AllGrey());
}

// Each pane keeps its newest lines, dropping the oldest in blocks.
TEST_F(MainDialogTest, PanesKeepTheirNewestLines) {
    const int32_t total = 3 * MainDialog::kPaneLines + 7;
    for (int32_t n = 0; n < total; ++n)
        dialog.ShowLine("line " + std::to_string(n), false);
    const Lines pane = New(IDC_RECV_LOG);
    EXPECT_GE(pane.size(), size_t(MainDialog::kPaneLines));
    EXPECT_LT(pane.size(), size_t(MainDialog::kPaneLines + MainDialog::kPaneDropBlock));
    for (size_t i = 0; i < pane.size(); ++i)
        ASSERT_EQ(pane[i], "line " + std::to_string(total - int32_t(pane.size()) + int32_t(i)));
}

} // namespace

// A window may report actions while its start-up still runs: each entry point must then
// leave the window, its timers and the device alone.
TEST(MainDialogBeforeStartUp, EveryEntryPointIsIgnored) {
    std::vector<int32_t> ids;
    for (const DlgItem& item : MainDlgTemplate::kItems)
        ids.push_back(item.id);
    for (int32_t i = 0; i < kIoPointCount; ++i)
        ids.insert(ids.end(), {IDC_COIL_BASE + i, IDC_INPUT_BASE + i});
    const std::vector<std::function<void(MainDialog&, int32_t)>> entries = {
        [](MainDialog& d, int32_t id) { d.OnCommand(id); },
        [](MainDialog& d, int32_t id) { d.OnComboChange(id); },
        [](MainDialog& d, int32_t id) { d.OnTimer(id); },
        [](MainDialog& d, int32_t id) { d.OnMenuCommand(id); },
        [](MainDialog& d, int32_t) { d.OnOK(); },
        [](MainDialog& d, int32_t) { d.OnCancel(); },
    };
    ids.insert(ids.end(), {TIMER_POLL, TIMER_HEARTBEAT, TIMER_STATS, IDM_ABOUTBOX});
    for (size_t entry = 0; entry < entries.size(); ++entry) {
        FakeDialogView view;
        MainDialog dialog(view, [] { return std::vector<std::string>{"/dev/ttyS0"}; });
        view.dialog = &dialog;
        for (int32_t id : ids) {
            view.checks[id] = true; // a check box the operator has just ticked
            entries[entry](dialog, id);
        }
        view.Pump();
        EXPECT_TRUE(view.title.empty() && view.texts.empty() && view.enabled.empty() &&
                    view.combos.empty() && view.looks.empty() && view.timers.empty() &&
                    view.panes.empty() && view.aboutBoxes == 0 && !view.closed)
            << "entry point " << entry;
        EXPECT_EQ(dialog.Config().commType, CommType::None) << entry;
    }
}
