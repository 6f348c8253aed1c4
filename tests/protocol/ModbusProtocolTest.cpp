#include "protocol/ModbusProtocol.h"
#include "ProtocolTestSupport.h"

namespace {

TEST(ModbusProtocolTest, CrcMatchesIndependentVectors) {
    const std::pair<const char*, uint16_t> cases[] = {
        {"31 32 33 34 35 36 37 38 39", 0x4B37}, // published check value of CRC-16/MODBUS
        {"11 01 00 13 00 25", 0x840E},          // read-coils example of the line standard
        {"", 0xFFFF},
        {"00", 0x40BF},
        {"FF", 0x00FF},
        {"01 02 03 04 05 06 07 08 09 0A", 0xC3B3}};
    for (const auto& [hex, crc] : cases) {
        const Bytes data = Hex(hex);
        EXPECT_EQ(ModbusProtocol::CalcCrc16(data.data(), int32_t(data.size())), crc) << hex;
    }
    EXPECT_EQ(ModbusProtocol::CalcCrc16(nullptr, 5), 0xFFFF);
}

TEST(ModbusProtocolTest, BuildsRequestsAndRefusesBadRanges) {
    ModbusProtocol protocol;
    ExpectFrames(protocol,
                 {{{Kind::Coils, 0, 32}, "01 01 00 00 00 20 3D D2"},
                  {{Kind::Inputs, 0, 32}, "01 02 00 00 00 20 79 D2"},
                  {{Kind::Write, 3, 1}, "01 05 00 03 FF 00 7C 3A"},
                  {{Kind::Write, 3, 0}, "01 05 00 03 00 00 3D CA"},
                  {{Kind::Coils, 31, 1}, "01 01 00 1F 00 01 CC 0C"},
                  {{Kind::Coils, 5, 1}, "01 01 00 05 00 01 ED CB"},
                  {{Kind::Coils, 0, 0}, ""},
                  {{Kind::Inputs, 0, 33}, ""},
                  {{Kind::Coils, 31, 2}, ""},
                  {{Kind::Inputs, 255, 2}, ""}}, // would pass if start + count wrapped at 8 bits
                 8);
    int32_t length = 0;
    EXPECT_EQ(protocol.BuildReadCoils(1, 0, 1, nullptr, length), -1);
    // The refusals did not replace the last accepted request (coil 5, count 1).
    std::string text;
    ASSERT_EQ(Parse(protocol, "01 01 01 01 90 48", text), 0);
    EXPECT_EQ(text, "设备1读取线圈状态(地址5): 5:ON");
}

TEST(ModbusProtocolTest, AcceptsAnswers) {
    const std::string coils = "设备1读取线圈状态(地址0): ",
                      inputs = "设备1读取离散输入状态(地址0): ";
    ExpectAccepted<ModbusProtocol>({
        {{Kind::Coils, 0, 32},
         0,
         "01 01 04 0F 00 00 80 F9 65",
         coils + ListOf(0, 32, 0x8000000F),
         {0x8000000F, 0}},
        {{Kind::Inputs, 0, 32},
         0,
         "01 02 04 0F 00 00 80 F9 56",
         inputs + ListOf(0, 32, 0x8000000F),
         {0, 0x8000000F}},
        {{Kind::Coils, 5, 1},
         0,
         "01 01 01 01 90 48",
         "设备1读取线圈状态(地址5): 5:ON",
         {1u << 5, 0}},
        {{Kind::Coils, 5, 1},
         1,
         "01 01 01 FE D0 08",
         "设备1读取线圈状态(地址5): 5:OFF",
         {~(1u << 5), ~0u}},
        {{Kind::Coils, 0, 32}, 0, "01 01 01 FF 11 C8", coils + ListOf(0, 8, 0xFF), {0xFF, 0}},
        {{Kind::Coils, 0, 8}, 0, "01 01 02 0F FF FC 4C", coils + ListOf(0, 8, 0x0F), {0x0F, 0}},
        {{Kind::Coils, 28, 4},
         0,
         "11 01 01 FA D5 0B",
         "设备17读取线圈状态(地址28): 28:OFF, 29:ON, 30:OFF, 31:ON",
         {0xA0000000, 0}},
        {{Kind::Coils, 0, 8}, 0, "01 02 01 81 61 E8", inputs + ListOf(0, 8, 0x81), {0, 0x81}},
        {{Kind::Write, 3, 1}, 0, "07 05 00 03 FF 00 7C 5C", "设备7写入线圈3: ON", {1u << 3, 0}},
        {{Kind::Write, 3, 1},
         1,
         "01 05 00 03 12 34 30 BD",
         "设备1写入线圈3: OFF",
         {~(1u << 3), ~0u}},
        {{Kind::Write, 3, 1},
         1,
         "01 05 00 03 FF 01 BD FA",
         "设备1写入线圈3: OFF",
         {~(1u << 3), ~0u}},
        {{Kind::Write, 3, 1}, 0, "01 05 00 20 FF 00 8D F0", "设备1写入线圈32: ON", {0, 0}},
    });
}

TEST(ModbusProtocolTest, RefusesAnswersWithoutTouchingTables) {
    ModbusProtocol protocol;
    std::string text;
    Build(protocol, {Kind::Coils, 0, 32});
    ASSERT_EQ(Parse(protocol, "01 01 04 5A 5A 5A 5A 73 81", text), 0);
    ASSERT_EQ(Parse(protocol, "01 02 04 A5 C3 3C 96 B8 7C", text), 0);
    ASSERT_EQ(MasksOf(protocol), (Masks{0x5A5A5A5A, 0x963CC3A5}));
    ExpectRefused(protocol,
                  {
                      {"01 81 02 C1 91", "设备1响应异常: 非法数据地址"},
                      {"01 82 01 81 60", "设备1响应异常: 非法功能"},
                      {"05 85 03 43 50", "设备5响应异常: 非法数据值"},
                      {"01 81 0B 01 97", "设备1响应异常: 错误码: 0x0B"},
                      {"01 81 C0 40", "设备1响应异常: 错误码: 0x00"}, // no room for a code
                      {"01 01 04 0F 00 00 80 F9 66", "CRC校验错误"},
                      {"01 03 02 00 00 B8 45", "CRC校验错误"},
                      {"01 01 04 0F 00 00 80 F9 65 7E", "CRC校验错误"},
                      {"01 01 04", "响应数据长度不足"},
                      {"", "响应数据长度不足"},
                      {"01 05 00 03 51 D8", "响应数据长度不足"},
                      {"01 05 00 03 FF 59 BC", "响应数据长度不足"},
                      {"01 01 04 0F 00 5C 0D", "响应数据不全"},
                      {"01 01 C1 E0", "响应数据不全"},
                      {"01 03 02 00 00 B8 44", "不支持的功能码: 0x03"},
                  });
}

} // namespace
