// "板卡自检..." against a fake window and a Modbus RTU board behind a fake transport: progress
// point by point, the verdicts as the dialog and the copied text say them (one table), cancel
// with the coils restored, the dialog's controls, and the poll paused meanwhile. What the
// self-test finds on boards in the field is tests/tools/SelfTestTest's table.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "dialog/FakeBoardCommunication.h"
#include "dialog/FakeWindow.h"
#include "dialog/SelfTestSession.h"

namespace {

// The self-test dialog as a record of what it was told to show.
struct FakeSelfTestView : ISelfTestView {
    std::map<std::pair<bool, int32_t>, std::pair<Rgb, std::string>> points;
    bool inputsShown = false;
    SelfTestControls controls;
    int32_t done = 0, total = 0;
    std::tuple<int32_t, int32_t, int32_t> at40; // passed, untested, total after 40 steps
    std::string verdict;

    void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) override {
        points[{isCoil, index}] = {colour, reason};
    }
    void ShowInputs(bool shown) override { inputsShown = shown; }
    void ShowProgress(int32_t d, int32_t t) override {
        done = d, total = t;
        if (d == 40) // part-way: what the grid shows then
            at40 = {Count(SelfTestSession::kPassed), Count(SelfTestSession::kUntested), t};
    }
    void ShowVerdict(const std::string& text) override { verdict = text; }
    void ShowControls(const SelfTestControls& c) override { controls = c; }
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
        dialog.SetDeviceHooks(BoardHooks(board));
        view.Click(IDC_USE_TCP);
        view.Click(IDC_TCP_CONNECT);
    }

    // Coils 0, 2 and 31 on before the test.
    std::shared_ptr<FakeBoard> board = std::make_shared<FakeBoard>(0x80000005);
    FakeWindow window;
    FakeDialogView& view = window.view;
    MainDialog& dialog = window.dialog;
    FakeSelfTestView testView;
    bool loopbackChoice = true; // as the window remembers it
    SelfTestSession session{dialog, testView, &loopbackChoice};
};

TEST_F(SelfTestSessionTest, ShowsEachPointAsTestedPausesThePollAndSaysTheVerdict) {
    ASSERT_EQ(view.timers[TIMER_POLL], 1000);
    // The test runs on the worker (here at once); the window shows each step as it comes.
    view.Pump();
    session.Start(true);
    EXPECT_EQ(view.timers.count(TIMER_POLL), 0u);
    EXPECT_TRUE(testView.controls.cancel);
    EXPECT_EQ(testView.verdict, "自检中...");
    view.Pump(1);
    EXPECT_EQ(view.Lines(IDC_SEND_LOG).back(), "定时查询已暂停");

    view.Pump();
    // Part-way: some points passed, the rest not yet tested, the progress moving on.
    const auto [passed, untested, total] = testView.at40;
    EXPECT_GT(passed, 0);
    EXPECT_GT(untested, 0);
    EXPECT_LT(40, total);
    EXPECT_TRUE(testView.inputsShown);
    EXPECT_EQ(testView.Count(SelfTestSession::kPassed), 64);
    EXPECT_EQ(view.timers[TIMER_POLL], 1000);
    view.Pump();
    EXPECT_EQ(view.Lines(IDC_SEND_LOG).back(), "定时查询已恢复，间隔: 1000 ms");
    EXPECT_EQ(session.ResultText().find("板卡自检: 自检通过\n用时 "), 0u);
    EXPECT_NE(session.ResultText().find("\n输入 31: 通过\n"), std::string::npos);
}

TEST_F(SelfTestSessionTest, CancelRestoresTheCoilsAndANotConnectedBoardIsRefused) {
    // Cancelled while the worker runs it, during its 12th step (coil 2 switched off again, the
    // original state being on): the wait under way ends, the coils are restored.
    board->onWrite = [this] {
        if (board->writes == 6)
            session.Cancel();
    };
    session.Start(false);
    view.Pump();
    EXPECT_FALSE(testView.inputsShown);
    EXPECT_EQ(testView.verdict, "自检已取消");
    EXPECT_EQ(board->CoilWord(), 0x80000005u);
    EXPECT_EQ(testView.done, 12); // where it stopped, not the restoring steps

    view.Click(IDC_TCP_DISCONNECT);
    const int32_t writes = board->writes;
    session.Start(false);
    EXPECT_EQ(testView.verdict, "错误: 设备未连接");
    EXPECT_FALSE(testView.controls.cancel);
    EXPECT_EQ(board->writes, writes);
}

// Closing the window while the worker runs a test ends it at the wait under way: nothing
// more is sent, the coils stay as they are, and the window disconnects.
TEST_F(SelfTestSessionTest, ClosingTheWindowStopsTheTestAtOnce) {
    board->onWrite = [this] {
        if (board->writes == 3)
            dialog.OnCancel();
    };
    session.Start(false);
    view.Pump();
    EXPECT_EQ(board->writes, 3);
    EXPECT_EQ(board->CoilWord(), 0x80000006u); // coil 0 left off, coil 1 on
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(testView.verdict.substr(0, 15), "自检已取消");
    EXPECT_EQ(view.Lines(IDC_RECV_LOG).back(), "已断开连接");
}

// The self-test dialog closed while its test runs: the test ends and the poll comes back.
TEST_F(SelfTestSessionTest, ClosingTheDialogMidTestResumesThePoll) {
    auto closing = std::make_unique<SelfTestSession>(dialog, testView, &loopbackChoice);
    closing->Start(false);
    closing.reset();
    view.Pump();
    EXPECT_EQ(view.timers[TIMER_POLL], 1000);
}

// Each way a test can end, as the dialog, the copied text and the board show it.
TEST_F(SelfTestSessionTest, VerdictsCountOnlyRealFailuresAndSayWhatWasLeft) {
    struct Case {
        const char* name;
        uint32_t coils;
        int32_t stuck, refused, shorted[2];
        bool readsRefused;
        int32_t silentAfterWrites, lostAfterWrites;
        const char* verdict;      // and the restore line, when there is one
        int32_t failed, untested; // coils shown failed and untested at the end
        uint32_t coilsAfter;
        const char* listed; // a line of the copied text
    };
    const char* kSilentNotRestored = "\n⚠ 线圈可能未恢复: 无法读回，自检前为 80000005";
    const std::string silent = std::string("自检中断: 设备无应答") + kSilentNotRestored;
    const std::string lost = std::string("自检中断: 连接已断开") + kSilentNotRestored;
    const Case cases[] = {
        // clang-format off
        // A stuck coil is named; with the loopback, its input, which followed it, is not.
        {"Stuck", 0x80000005, 7, -1, {-1, -1}, false, -1, -1, "自检失败: 1 项", 1, 0, 0x80000005,
         "线圈 7: 失败 - 未能接通"},
        // The first coil's refused write is charged to it, and the test goes on.
        {"CoilZeroRefused", 0x80000005, -1, 0, {-1, -1}, false, -1, -1, "自检失败: 1 项", 1, 0,
         0x80000005, "线圈 0: 失败 - 应答错误: 设备1响应异常: 非法数据地址"},
        // Coil 27 is ON and coil 28 OFF before: restoring 27 switches 28 on too.
        {"Shorted", 0x0F0F0F0F, -1, -1, {27, 28}, false, -1, -1,
         "自检失败: 2 项\n⚠ 线圈未能恢复: 自检前 0F0F0F0F，现为 1F0F0F0F（线圈 28 现为 ON，原为 OFF）",
         2, 0, 0x1F0F0F0F, "线圈 28: 失败 - 线圈 27 也动作了"},
        // Silent right after coil 8 was switched ON (coils 0..7 took two writes each).
        {"Silent", 0x80000005, -1, -1, {-1, -1}, false, 17, -1, silent.c_str(), 0, 24, 0x80000100,
         "线圈 8: 未测试"},
        {"LinkLost", 0x80000005, -1, -1, {-1, -1}, false, -1, 17, lost.c_str(), 0, 24, 0x80000100,
         "线圈 9: 未测试"},
        // Without the starting states nothing is switched.
        {"StartRefused", 0x80000005, -1, -1, {-1, -1}, true, -1, -1,
         "自检中断: 应答错误: 设备1响应异常: 非法数据地址", 0, 32, 0x80000005, "线圈 31: 未测试"},
        {"SilentFromTheStart", 0x80000005, -1, -1, {-1, -1}, false, 0, -1, "自检中断: 设备无应答", 0, 32,
         0x80000005, "线圈 0: 未测试"},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *board = FakeBoard(c.coils);
        testView.points.clear();
        if (c.stuck >= 0)
            board->StickCoil(c.stuck, false);
        if (c.shorted[0] >= 0)
            board->ShortCoils(c.shorted[0], c.shorted[1]);
        board->refusedCoil = c.refused;
        board->refusesReads = c.readsRefused;
        board->silentAfterWrites = c.silentAfterWrites;
        board->lostAfterWrites = c.lostAfterWrites;
        if (!dialog.Shown().connected)
            view.Click(IDC_TCP_CONNECT);
        const bool loopback = c.stuck >= 0;
        session.Start(loopback);
        view.Pump();
        EXPECT_EQ(testView.verdict, c.verdict);
        EXPECT_EQ(testView.Count(SelfTestSession::kFailed), c.failed);
        EXPECT_EQ(testView.Count(SelfTestSession::kUntested), c.untested);
        // The bar ends short when points were left; a refused coil's skipped steps too.
        const bool shortOfTheEnd = testView.done < testView.total;
        EXPECT_EQ(shortOfTheEnd, c.untested > 0 || c.refused >= 0);
        EXPECT_EQ(board->CoilWord(), c.coilsAfter);
        const std::string text = session.ResultText();
        EXPECT_EQ(text.find("板卡自检: " + std::string(c.verdict) + "\n"), 0u);
        EXPECT_NE(text.find(std::string("\n") + c.listed + "\n"), std::string::npos) << text;
        EXPECT_TRUE(testView.controls.copy && testView.controls.start);
    }
}

// "复制结果" only with a result; "回环检查" remembered, and disabled under 0x55 with the reason.
TEST_F(SelfTestSessionTest, TheControlsFollowTheResultAndTheProtocol) {
    EXPECT_FALSE(testView.controls.copy);
    EXPECT_TRUE(testView.controls.loopback && testView.controls.loopbackChecked);
    session.OnLoopbackChanged(false);
    EXPECT_FALSE(loopbackChoice);

    view.Click(IDC_TCP_DISCONNECT);
    loopbackChoice = true;
    view.Click(IDC_PROTO_55);
    FakeSelfTestView relayView;
    SelfTestSession relay{dialog, relayView, &loopbackChoice};
    EXPECT_FALSE(relayView.controls.loopback || relayView.controls.loopbackChecked);
    EXPECT_EQ(relayView.controls.loopbackTip, SelfTestSession::kNoLoopbackTip);
    relay.OnLoopbackChanged(false);
    EXPECT_TRUE(loopbackChoice); // a choice made elsewhere is kept for Modbus
    view.Click(IDC_TCP_CONNECT);
    relay.Start(true);
    EXPECT_FALSE(relayView.inputsShown);
}

} // namespace
