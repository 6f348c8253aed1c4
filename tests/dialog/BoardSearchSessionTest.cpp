// "查找设备..." against a fake window and a Modbus RTU board at address 7 behind a fake
// transport: found over the network and, through the line settings, on a serial port; the
// chosen board fills the main window's fields.
#include <gtest/gtest.h>

#include "dialog/BoardSearchSession.h"
#include "dialog/FakeBoardCommunication.h"
#include "dialog/FakeWindow.h"

namespace {

struct FakeSearchView : IBoardSearchView {
    std::vector<std::string> found;
    int64_t done = 0, total = 0;
    std::string status;
    std::vector<std::string> statuses; // while running
    int running = -1;                  // until told

    void ClearFound() override { found.clear(); }
    void AddFound(const std::string& text) override { found.push_back(text); }
    void SetFound(size_t row, const std::string& text) override { found.at(row) = text; }
    void ShowProgress(int64_t d, int64_t t) override { done = d, total = t; }
    void ShowStatus(const std::string& text) override {
        status = text;
        if (running)
            statuses.push_back(text);
    }
    void ShowRunning(bool r) override { running = r; }
};

class BoardSearchSessionTest : public ::testing::Test {
protected:
    void SetUp() override { board->address = 7; }

    std::shared_ptr<FakeBoard> board = std::make_shared<FakeBoard>();
    FakeWindow window;
    FakeDialogView& view = window.view;
    FakeSearchView searchView;
    BoardSearchSession session{window.windowTools, searchView, BoardHooks(board)};
};

TEST_F(BoardSearchSessionTest, FindsTheBoardOverTheNetworkAndOnASerialLine) {
    EXPECT_EQ(searchView.running, 0); // idle until started
    view.Click(IDC_USE_TCP);
    session.Start(false, false);
    EXPECT_EQ(searchView.running, 1);
    view.Pump(1);
    EXPECT_EQ(searchView.total, 247); // Modbus addresses 1..247 with the window's protocol
    view.Pump();
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  Modbus RTU"});
    EXPECT_EQ(searchView.status, "完成，找到 1 个设备");
    // While running it said what it asked, how far it was and how long was left: before the
    // pace is known, the wait of each address still to ask (240 x 51 ms).
    ASSERT_EQ(searchView.statuses.size(), 246u);
    EXPECT_EQ(searchView.statuses[6], "正在询问: 地址 7  Modbus RTU  7/247，剩余约 12 秒");
    EXPECT_EQ(searchView.done, searchView.total);
    EXPECT_FALSE(searchView.running);
    ASSERT_TRUE(session.Choose(0));
    EXPECT_EQ(view.GetText(IDC_ADDRESS_COMBO), "7");
    EXPECT_FALSE(session.Choose(1));

    // On a serial line the board hears only 19200 baud with even parity.
    board->baudRate = 19200;
    board->parity = 2;
    view.Click(IDC_USE_SERIAL);
    session.Start(true, true);
    view.Pump();
    EXPECT_EQ(searchView.found,
              std::vector<std::string>{"地址 7  Modbus RTU、Modbus TCP、55协议  19200 偶校验"});
    ASSERT_TRUE(session.Choose(0));
    EXPECT_EQ(view.GetText(IDC_BAUD_COMBO) + " " + view.GetText(IDC_PARITY_COMBO), "19200 偶校验");
    EXPECT_EQ(view.GetText(IDC_PORT_COMBO), "COM3");
}

TEST_F(BoardSearchSessionTest, CancelEndsTheSearchAndNoTransportIsRefused) {
    view.Click(IDC_USE_UDP);
    // Cancelled while the worker asks address 20: what was found stays.
    board->onRead = [this](uint8_t address) {
        if (address == 20)
            session.Cancel();
    };
    session.Start(true, false);
    view.Pump();
    EXPECT_EQ(searchView.status, "已取消，找到 1 个设备");
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  Modbus RTU"});
    EXPECT_LT(searchView.done, searchView.total);

    // The 0x55 protocol's addresses go up to 255.
    view.Click(IDC_PROTO_55);
    session.Start(false, false);
    view.Pump();
    EXPECT_EQ(searchView.total, 255);
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  55协议"});

    view.Click(IDC_USE_UDP); // clears it: no transport chosen
    session.Start(true, false);
    EXPECT_EQ(searchView.status, "请先选择通信方式");
    EXPECT_FALSE(searchView.running);
}

// One entry per board, every protocol it answered; the time left in the operator's units.
TEST_F(BoardSearchSessionTest, BoardsAreGroupedAndTheTimeLeftIsReadable) {
    auto hit = [](ProtocolType protocol, uint8_t address, uint32_t baud) {
        return ScanHit{protocol, address, baud != 0, baud, 2};
    };
    const auto rtu = ProtocolType::ModbusRtu, mbap = ProtocolType::ModbusTcp;
    std::vector<std::string> rows;
    for (const ScanBoard& board : GroupByBoard({hit(rtu, 7, 0), hit(rtu, 9, 0), hit(mbap, 7, 0)}))
        rows.push_back(BoardSearchSession::Describe(board));
    EXPECT_EQ(rows,
              (std::vector<std::string>{"地址 7  Modbus RTU、Modbus TCP", "地址 9  Modbus RTU"}));

    const std::pair<double, const char*> times[] = {
        {0.4, "0 秒"}, {59.4, "59 秒"}, {130, "2 分 10 秒"}, {7500, "2 小时 5 分"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(BoardSearchSession::ProgressText(hit(rtu, 37, 0), 36, 247, seconds),
                  std::string("正在询问: 地址 37  Modbus RTU  36/247，剩余约 ") + text);
}

} // namespace
