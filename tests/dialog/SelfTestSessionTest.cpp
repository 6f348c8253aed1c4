// "板卡自检..." against a fake window and a Modbus RTU board behind a fake transport: progress
// point by point, the verdict, cancel with the coils restored, and the poll paused meanwhile.
#include <gtest/gtest.h>

#include <memory>

#include "dialog/FakeDialogView.h"
#include "dialog/MainDlgIds.h"
#include "dialog/SelfTestSession.h"
#include "protocol/ModbusProtocol.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A board of 32 coils, each wired to its input, answering Modbus RTU reads and writes at
// once. A stuck coil stays off.
struct Board {
    uint32_t coils = 0;
    int32_t stuckCoil = -1;
    int32_t writes = 0;
};

class BoardCommunication : public ICommunication {
public:
    explicit BoardCommunication(std::shared_ptr<Board> board) : board(std::move(board)) {}
    bool Initialize() override { return true; }
    bool Configure(const void* config) override { return config != nullptr; }
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    int32_t Send(const uint8_t* data, int32_t length) override {
        if (!open || length != 8)
            return -1;
        const Bytes request(data, data + length);
        const uint16_t start = uint16_t(request[2] << 8 | request[3]);
        const uint16_t value = uint16_t(request[4] << 8 | request[5]);
        answer = {request[0], request[1]};
        if (request[1] == 5) {
            const bool on = value == 0xFF00 && int32_t(start) != board->stuckCoil;
            board->coils = on ? board->coils | (1u << start) : board->coils & ~(1u << start);
            ++board->writes;
            answer = request; // the echo, CRC included
            return length;
        }
        const uint32_t states = board->coils >> start; // inputs follow their coils
        answer.push_back(uint8_t((value + 7) / 8));
        for (int byte = 0; byte < (value + 7) / 8; ++byte)
            answer.push_back(uint8_t(states >> (8 * byte)));
        const uint16_t crc = ModbusProtocol::CalcCrc16(answer.data(), int32_t(answer.size()));
        answer.push_back(uint8_t(crc & 0xFF));
        answer.push_back(uint8_t(crc >> 8));
        return length;
    }
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t) override {
        if (!open)
            return -1;
        const int32_t count = std::min(int32_t(answer.size()), size);
        std::copy_n(answer.begin(), count, buffer);
        answer.clear();
        return count;
    }
    void SetAnswerCheck(AnswerCheck) override {}
    int32_t DiscardPending(uint8_t*, int32_t) override { return open ? 0 : -1; }

private:
    std::shared_ptr<Board> board;
    Bytes answer;
    bool open = false;
};

// The self-test dialog as a record of what it was told to show.
struct FakeSelfTestView : ISelfTestView {
    std::map<std::pair<bool, int32_t>, std::pair<Rgb, std::string>> points;
    bool inputsShown = false, running = false, stepping = false;
    int32_t done = 0, total = 0;
    std::string verdict;

    void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) override {
        points[{isCoil, index}] = {colour, reason};
    }
    void ShowInputs(bool shown) override { inputsShown = shown; }
    void ShowProgress(int32_t d, int32_t t) override { done = d, total = t; }
    void ShowVerdict(const std::string& text) override { verdict = text; }
    void ShowRunning(bool r) override { running = r; }
    void StartStepping() override { stepping = true; }
    void StopStepping() override { stepping = false; }
    int32_t Count(Rgb colour) {
        int32_t count = 0;
        for (const auto& point : points)
            count += point.second.first == colour;
        return count;
    }
};

class SelfTestSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.dialog = &dialog;
        dialog.GetDevice().SetHooks(
            {[this](CommType) { return std::make_unique<BoardCommunication>(board); },
             [] { return int64_t(0); }, [](int32_t) {}});
        dialog.OnInitDialog();
        view.Click(IDC_USE_TCP);
        view.Click(IDC_TCP_CONNECT);
        board->coils = 0x80000005; // coils 0, 2 and 31 on before the test
    }
    // Runs the steps the dialog asks for, as a window does between its own events.
    int32_t RunSteps(int32_t atMost) {
        int32_t steps = 0;
        for (; testView.stepping && steps < atMost; ++steps) {
            session.OnStep();
            view.Pump();
        }
        return steps;
    }

    std::shared_ptr<Board> board = std::make_shared<Board>();
    FakeDialogView view;
    MainDialog dialog{view, [] { return std::vector<std::string>{}; }};
    FakeSelfTestView testView;
    SelfTestSession session{dialog, testView};
};

TEST_F(SelfTestSessionTest, ShowsEachPointAsTestedPausesThePollAndSaysTheVerdict) {
    ASSERT_EQ(view.timers[TIMER_POLL], 1000);
    session.Start(true);
    view.Pump();
    EXPECT_EQ(view.timers.count(TIMER_POLL), 0u);
    EXPECT_EQ(view.Lines(IDC_SEND_LOG).back(), "定时查询已暂停");
    EXPECT_TRUE(testView.running && testView.inputsShown);
    EXPECT_EQ(testView.verdict, "自检中...");

    // Part-way: some points passed, the rest not yet tested, the progress moving on.
    RunSteps(40);
    ASSERT_TRUE(testView.stepping);
    EXPECT_GT(testView.Count(SelfTestSession::kPassed), 0);
    EXPECT_GT(testView.Count(SelfTestSession::kUntested), 0);
    EXPECT_EQ(testView.done, 40);
    EXPECT_LT(testView.done, testView.total);

    RunSteps(10000);
    EXPECT_EQ(testView.verdict, "自检通过");
    EXPECT_EQ(testView.Count(SelfTestSession::kPassed), 64);
    EXPECT_EQ(testView.done, testView.total);
    EXPECT_FALSE(testView.running);
    EXPECT_EQ(board->coils, 0x80000005u); // left as found
    EXPECT_EQ(view.timers[TIMER_POLL], 1000);
    view.Pump();
    EXPECT_EQ(view.Lines(IDC_SEND_LOG).back(), "定时查询已恢复，间隔: 1000 ms");
    EXPECT_EQ(session.ResultText().substr(0, 60).find("板卡自检: 自检通过\n用时 "), 0u);

    // A stuck coil is named; its input, which followed it, is not blamed.
    board->stuckCoil = 7;
    session.Start(true);
    RunSteps(10000);
    EXPECT_EQ(testView.verdict, "自检失败: 1 项");
    EXPECT_EQ((testView.points[{true, 7}]),
              std::make_pair(SelfTestSession::kFailed, std::string("未能接通")));
    EXPECT_EQ((testView.points[{false, 7}].first), SelfTestSession::kPassed);
    EXPECT_NE(session.ResultText().find("线圈 7: 失败 - 未能接通\n"), std::string::npos);
}

TEST_F(SelfTestSessionTest, CancelRestoresTheCoilsAndANotConnectedBoardIsRefused) {
    session.Start(false);
    EXPECT_FALSE(testView.inputsShown);
    RunSteps(9); // coils 0..3 switched on and off once or twice
    session.Cancel();
    RunSteps(10000);
    EXPECT_EQ(testView.verdict, "自检已取消");
    EXPECT_EQ(board->coils, 0x80000005u);
    EXPECT_GT(testView.Count(SelfTestSession::kUntested), 0);
    EXPECT_EQ(view.timers[TIMER_POLL], 1000);

    view.Click(IDC_TCP_DISCONNECT);
    const int32_t writes = board->writes;
    session.Start(false);
    EXPECT_EQ(testView.verdict, "错误: 设备未连接");
    EXPECT_FALSE(testView.stepping);
    EXPECT_EQ(board->writes, writes);
}

} // namespace
