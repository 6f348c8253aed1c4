#include "protocol/ModbusTcpProtocol.h"
#include "ProtocolTestSupport.h"

namespace {

TEST(ModbusTcpProtocolTest, BuildsRequestsWithRisingIdsAndRefusedOnesTakeNone) {
    ModbusTcpProtocol protocol;
    ExpectFrames(protocol,
                 {{{Kind::Coils, 0, 32}, "00 01 00 00 00 06 01 01 00 00 00 20"},
                  {{Kind::Coils, 0, 0}, ""},
                  {{Kind::Inputs, 0, 33}, ""},
                  {{Kind::Coils, 31, 2}, ""},
                  {{Kind::Inputs, 255, 2}, ""},
                  {{Kind::Inputs, 0, 32}, "00 02 00 00 00 06 01 02 00 00 00 20"},
                  {{Kind::Write, 3, 1}, "00 03 00 00 00 06 01 05 00 03 FF 00"},
                  {{Kind::Write, 31, 0, 0x22}, "00 04 00 00 00 06 22 05 00 1F 00 00"},
                  {{Kind::Coils, 5, 1}, "00 05 00 00 00 06 01 01 00 05 00 01"},
                  {{Kind::Coils, 0, 0}, ""}},
                 12);
    // The last refusal left id 5 expected and coil 5 as the last read request.
    std::string text;
    ASSERT_EQ(Parse(protocol, "00 05 00 00 00 04 01 01 01 01", text), 0);
    EXPECT_EQ(text, "读取线圈状态(地址5): 5:ON");
}

TEST(ModbusTcpProtocolTest, IdWrapsFromFFFFToOne) {
    ModbusTcpProtocol protocol;
    for (uint32_t id = 1; id < 0xFFFF; ++id)
        Build(protocol, {Kind::Coils, 0, 1});
    ExpectFrames(protocol,
                 {{{Kind::Coils, 0, 1}, "FF FF 00 00 00 06 01 01 00 00 00 01"},
                  {{Kind::Write, 0, 1}, "00 01 00 00 00 06 01 05 00 00 FF 00"}},
                 12);
    std::string text;
    EXPECT_EQ(Parse(protocol, "00 01 00 00 00 06 01 05 00 00 FF 00", text), 0) << text;
    ExpectFrames(protocol, {{{Kind::Inputs, 0, 1}, "00 02 00 00 00 06 01 02 00 00 00 01"}}, 12);
}

TEST(ModbusTcpProtocolTest, AcceptsOnlyTheAnswerToTheRequestInFlight) {
    ModbusTcpProtocol protocol;
    std::string text;
    Build(protocol, {Kind::Coils, 0, 32});
    ASSERT_EQ(Parse(protocol, "00 01 00 00 00 07 01 01 04 0F 00 00 80", text), 0);
    EXPECT_EQ(text, "读取线圈状态(地址0): " + ListOf(0, 32, 0x8000000F));
    Build(protocol, {Kind::Write, 3, 1});
    ExpectRefused(protocol,
                  {{"00 01 00 00 00 07 01 01 04 00 00 00 00", "事务ID不匹配: 期望2, 实际1"}});
    protocol.ResetStates(0);
    ASSERT_EQ(Parse(protocol, "00 02 00 00 00 06 01 05 00 03 FF 00", text), 0);
    EXPECT_EQ(text, "写入线圈3: ON");
    EXPECT_EQ(MasksOf(protocol), (Masks{1u << 3, 0}));
}

TEST(ModbusTcpProtocolTest, AcceptsAnswers) {
    const std::string coils = "读取线圈状态(地址0): " + ListOf(0, 32, 0x8000000F);
    ExpectAccepted<ModbusTcpProtocol>({
        {{Kind::Coils, 0, 32},
         0,
         "00 01 00 00 00 07 01 01 04 0F 00 00 80 FF FF",
         coils,
         {0x8000000F, 0}},
        {{Kind::Inputs, 0, 32},
         0,
         "00 01 00 00 00 07 01 02 04 0F 00 00 80",
         "读取离散输入状态(地址0): " + ListOf(0, 32, 0x8000000F),
         {0, 0x8000000F}},
        {{Kind::Coils, 30, 2},
         1,
         "00 01 00 00 00 04 01 01 01 FD",
         "读取线圈状态(地址30): 30:ON, 31:OFF",
         {~(1u << 31), ~0u}},
        {{Kind::Write, 3, 1},
         0,
         "00 01 00 00 00 06 11 05 00 03 FF 00",
         "写入线圈3: ON",
         {1u << 3, 0}},
        {{Kind::Write, 3, 1},
         1,
         "00 01 00 00 00 06 01 05 00 03 12 34",
         "写入线圈3: OFF",
         {~(1u << 3), ~0u}},
        {{Kind::Write, 3, 1}, 0, "00 01 00 00 00 06 01 05 01 00 FF 00", "写入线圈256: ON", {0, 0}},
    });
}

TEST(ModbusTcpProtocolTest, RefusesAnswersWithoutTouchingTables) {
    ModbusTcpProtocol protocol;
    std::string text;
    Build(protocol, {Kind::Coils, 0, 32});
    ASSERT_EQ(Parse(protocol, "00 01 00 00 00 07 01 01 04 5A 5A 5A 5A", text), 0);
    ASSERT_EQ(Parse(protocol, "00 01 00 00 00 07 01 02 04 A5 C3 3C 96", text), 0);
    ExpectRefused(protocol,
                  {
                      {"00 00 00 00 00 07 01 01 04 0F 00 00 80", "事务ID不匹配: 期望1, 实际0"},
                      {"01 02 00 00 00 07 01 01 04 0F 00 00 80", "事务ID不匹配: 期望1, 实际258"},
                      {"00 09 00 01 00 03 01 01 00", "事务ID不匹配: 期望1, 实际9"},
                      {"00 01 00 01 00 07 01 01 04 0F 00 00 80", "协议ID错误: 0x0001"},
                      {"00 01 AB CD 00 20 01 01 00", "协议ID错误: 0xABCD"},
                      {"00 01 00 00 00 06 01 05 00 03 FF", "响应帧不完整: 期望12字节, 实际11字节"},
                      {"00 01 00 00 FF FF 01 01 00", "响应帧不完整: 期望65541字节, 实际9字节"},
                      {"00 01 00 00 00 02 01 81", "响应数据长度不足"},
                      {"00 07 00 00 00 02 01 01", "响应数据长度不足"},
                      {"00 01 00 00 00 02 01 81 07", "单元1响应异常: 错误码: 0x00"},
                      {"00 01 00 00 00 03 09 81 02", "单元9响应异常: 非法数据地址"},
                      {"00 01 00 00 00 03 01 82 01", "单元1响应异常: 非法功能"},
                      {"00 01 00 00 00 03 01 85 03", "单元1响应异常: 非法数据值"},
                      {"00 01 00 00 00 03 01 85 FE", "单元1响应异常: 错误码: 0xFE"},
                      {"00 01 00 00 00 01 01 81 02", "PDU 长度不足"},
                      {"00 01 00 00 00 00 01 01 00", "PDU 长度不足"},
                      {"00 01 00 00 00 02 01 01 04", "PDU 长度不足"},
                      {"00 01 00 00 00 05 01 05 00 03 FF", "PDU 长度不足"},
                      {"00 01 00 00 00 06 01 01 04 0F 00 00", "响应数据不全"},
                      {"00 01 00 00 00 03 01 03 00", "不支持的功能码: 0x03"},
                  });
}

} // namespace
