#include "protocol/Protocol55.h"
#include "ProtocolTestSupport.h"

namespace {

TEST(Protocol55Test, SumMatchesVectors) {
    const std::pair<const char*, uint8_t> cases[] = {
        {"", 0x00}, {"55 01 10", 0x66}, {"FF 01", 0x00}, {"80 80 80", 0x80}};
    for (const auto& [hex, sum] : cases) {
        const Bytes data = Hex(hex);
        EXPECT_EQ(Protocol55::CalcSum8(data.data(), int32_t(data.size())), sum) << hex;
    }
}

TEST(Protocol55Test, BuildsRequests) {
    Protocol55 protocol;
    ExpectFrames(protocol,
                 {{{Kind::Coils, 0, 32}, "55 01 10 00 00 00 00 66"},
                  {{Kind::Coils, 200, 0}, "55 01 10 00 00 00 00 66"}, // the range is not sent
                  {{Kind::Inputs, 7, 3}, "55 01 10 00 00 00 00 66"},
                  {{Kind::Coils, 0, 32, 0xFF}, "55 FF 10 00 00 00 00 64"},
                  {{Kind::Write, 1, 1}, "55 01 20 00 00 00 01 77"},
                  {{Kind::Write, 1, 0}, "55 01 20 00 00 00 01 77"}, // always a toggle
                  {{Kind::Write, 32, 1}, "55 01 20 00 00 00 20 96"},
                  {{Kind::Write, 32, 0, 0xF0}, "55 F0 20 00 00 00 20 85"},
                  {{Kind::Write, 0, 1}, ""},
                  {{Kind::Write, 33, 1}, ""},
                  {{Kind::Write, 255, 0}, ""}},
                 8);
}

TEST(Protocol55Test, AcceptsAnswersAndKeepsInputsOff) {
    const auto read = [](int device, uint32_t bits) {
        return "设备" + std::to_string(device) + " 响应[读取状态]: " + ListOf(1, 32, bits);
    };
    ExpectAccepted<Protocol55>({
        {{Kind::Coils, 0, 32}, 1, "22 01 10 00 00 00 05 38", read(1, 0x5), {0x5, 0}},
        {{Kind::Inputs, 0, 32}, 1, "22 09 10 00 00 00 05 40", read(9, 0x5), {0x5, 0}},
        {{Kind::Coils, 0, 32}, 1, "22 01 10 00 00 00 05 EE 26", read(1, 0x5), {0x5, 0}},
        {{Kind::Write, 1, 1},
         0,
         "22 01 20 80 00 00 01 C4",
         "设备1 响应[翻转]: " + ListOf(1, 32, 0x80000001),
         {0x80000001, 0}},
        {{Kind::Write, 1, 1},
         1,
         "22 01 11 00 00 00 03 37",
         "设备1 响应[断开]: " + ListOf(1, 32, 0x3),
         {0x3, 0}},
        {{Kind::Write, 1, 1},
         0,
         "22 01 12 12 34 56 78 49",
         "设备1 响应[吸合]: " + ListOf(1, 32, 0x12345678),
         {0x12345678, 0}},
    });
}

TEST(Protocol55Test, RefusesAnswersWithoutTouchingTables) {
    Protocol55 protocol;
    std::string text;
    ASSERT_EQ(Parse(protocol, "22 01 10 5A 5A A5 C3 4F", text), 0);
    ASSERT_EQ(MasksOf(protocol), (Masks{0x5A5AA5C3, 0}));
    ExpectRefused(protocol, {
                                {"55 01 10 00 00 00 00 66", "响应头错误: 期望0x22, 实际0x55"},
                                {"00 01 10 00 00 00 05 00", "响应头错误: 期望0x22, 实际0x00"},
                                {"22 01 10 00 00 00 05 39", "校验和错误"},
                                {"22 01 10 00 00 00 05 38 00", "校验和错误"},
                                {"22 01 13 00 00 00 00 37", "校验和错误"},
                                {"22 01 10 00 00 00 05", "响应数据长度不足"},
                                {"", "响应数据长度不足"},
                                {"22 01 13 00 00 00 00 36", "不支持的功能码: 0x13"},
                            });
}

} // namespace
