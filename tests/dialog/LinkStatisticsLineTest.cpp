#include <gtest/gtest.h>

#include "dialog/LinkStatisticsLine.h"

namespace {

OperationResult Result(bool success, int32_t code, const std::string& message = "") {
    OperationResult result;
    result.success = success;
    result.code = code;
    result.message = message;
    return result;
}

// Round trips run from the last frame sent to the result; only answers have one, and every
// failure is counted by its kind.
TEST(LinkStatisticsLineTest, CountsByKindAndTimesTheAnswersFromTheLastSend) {
    int64_t nowMs = 0;
    LinkStatisticsLine line([&] { return nowMs * 1000000; });
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");

    struct Step {
        int64_t sendAt, resultAt;
        OperationResult result;
    } steps[] = {
        {0, 3, Result(true, 0)},
        {10, 400, Result(false, -5, "接收超时")},
        {500, 505, Result(false, -6, "CRC校验失败")},
        {600, 602, Result(true, 0)},
        {700, 710, Result(false, -1, "Modbus响应异常: 非法数据地址")},
    };
    for (const Step& step : steps) {
        nowMs = step.sendAt - 100; // a first attempt that went unanswered
        line.OnSend();
        nowMs = step.sendAt;
        line.OnSend();
        nowMs = step.resultAt;
        line.OnResult(step.result);
    }
    EXPECT_EQ(line.Text(), "请求 5  成功 2  失败 3 (无应答 1, 校验错误 1, 设备异常 1)  往返 ms: "
                           "最小 2.0  平均 5.0  P95 10.0  最大 10.0");
    line.Reset();
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
}

} // namespace
