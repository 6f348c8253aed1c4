#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/ModbusProtocol.h"
#include "protocol/ModbusTcpProtocol.h"
#include "protocol/Protocol55.h"

// Request frames and answers of the three protocols as tables. Frames are hex text ("01 0A FF");
// the tables are compared as {coils, inputs} masks, bit i = entry i.
namespace {

using Bytes = std::vector<uint8_t>;
using Masks = std::array<uint32_t, 2>;

Bytes Hex(const char* text) {
    Bytes bytes;
    std::istringstream in(text);
    for (unsigned byte = 0; in >> std::hex >> byte;)
        bytes.push_back(uint8_t(byte));
    return bytes;
}

// The result of ParseResponse with its text: 0 accepted, -1 refused as malformed, -2 as an answer
// to another request (the Device's table meets the other kinds).
using Outcome = std::pair<int32_t, std::string>;
Outcome Parse(IProtocol& protocol, const char* answer) {
    const Bytes bytes = Hex(answer);
    std::string text;
    const AnswerVerdict verdict = protocol.ParseResponse(bytes.data(), int32_t(bytes.size()), text);
    return {verdict.Accepted() ? 0 : verdict.kind == ErrorKind::Mismatch ? -2 : -1, text};
}

// All 64 entries as masks; each must be readable and 0 or 1.
Masks MasksOf(IProtocol& protocol) {
    Masks masks{};
    for (uint8_t i = 0; i < 64; ++i) {
        uint8_t entry = 9; // stays 9, and so fails, when it cannot be read
        (void)(i < 32 ? protocol.GetCoilState(i, entry) : protocol.GetInputState(i - 32, entry));
        EXPECT_LE(entry, 1) << "entry " << int(i);
        masks[i / 32] |= uint32_t(entry & 1) << (i % 32);
    }
    return masks;
}

// The expected state list: count items numbered from first, item i ON when bit i is set.
std::string List(int first, int count, uint32_t bits) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += (i ? ", " : "") + std::to_string(first + i) + ((bits >> i) & 1 ? ":ON" : ":OFF");
    return list;
}

// One builder call: C reads coils, I inputs, W writes coil (channel) a with state b.
enum Kind { C, I, W };
struct Request {
    Kind kind;
    uint8_t a, b;
    uint8_t address = 1;
};

// count 0 and 33, start 31 with count 2, and one that passes if start + count wraps at 8 bits.
const std::pair<Request, const char*> kBadRanges[] = {
    {{C, 0, 0}, ""}, {{I, 0, 33}, ""}, {{C, 31, 2}, ""}, {{I, 255, 2}, ""}};

using Rows = std::vector<std::pair<Request, const char*>>;

// The frame written; none (as an empty row frame says) when the builder refused and left buffer
// and length alone; any other outcome gives the marker BA D0.
Bytes Build(IProtocol& p, const Request& r) {
    Bytes out(16, 0xAA);
    int32_t length = -7;
    const int32_t result = r.kind == C ? p.BuildReadCoils(r.address, r.a, r.b, out.data(), length)
                           : r.kind == I
                               ? p.BuildReadInputs(r.address, r.a, r.b, out.data(), length)
                               : p.BuildWriteCoil(r.address, r.a, r.b != 0, out.data(), length);
    if (result == 0 && length > 0 && length <= 16)
        return Bytes(out.begin(), out.begin() + length);
    return result == -1 && length == -7 && out == Bytes(16, 0xAA) ? Bytes() : Bytes{0xBA, 0xD0};
}

template <class Cases> void ExpectFrames(IProtocol& protocol, const Cases& cases) {
    for (const auto& [r, frame] : cases)
        EXPECT_EQ(Build(protocol, r), Hex(frame)) << r.kind << " " << +r.a << " " << +r.b;
}

// The answer goes to a new P after ResetStates(reset) and the request.
template <class P>
void ExpectAccepted(const Request& request, uint8_t reset, const char* answer,
                    const std::string& text, Masks tables) {
    SCOPED_TRACE(answer);
    P protocol;
    protocol.ResetStates(reset);
    EXPECT_FALSE(Build(protocol, request).empty());
    EXPECT_EQ(Parse(protocol, answer), Outcome(0, text));
    EXPECT_EQ(MasksOf(protocol), tables);
}

// Every answer is refused with its reason, and not one of the 64 entries changes.
void ExpectRefused(IProtocol& protocol,
                   std::initializer_list<std::pair<const char*, const char*>> cases) {
    const Masks before = MasksOf(protocol);
    for (const auto& [answer, reason] : cases) {
        const bool mismatch = std::string(reason).find("不匹配") != std::string::npos;
        EXPECT_EQ(Parse(protocol, answer), Outcome(mismatch ? -2 : -1, reason));
        EXPECT_EQ(MasksOf(protocol), before) << answer;
    }
}

// Every kind starts all OFF, refuses indexes from 32 and is filled by ResetStates
// (Protocol55 keeps its inputs OFF).
TEST(ProtocolTest, TablesStartOffAndFollowReset) {
    ModbusProtocol rtu;
    ModbusTcpProtocol tcp;
    Protocol55 p55;
    const std::pair<IProtocol*, const char*> kinds[] = {
        {&rtu, "Modbus RTU"}, {&tcp, "Modbus TCP"}, {&p55, "55协议"}};
    for (const auto& [p, name] : kinds) {
        EXPECT_EQ(p->GetName(), name);
        EXPECT_EQ(MasksOf(*p), (Masks{0, 0})) << name;
        p->ResetStates(1);
        EXPECT_EQ(MasksOf(*p), (Masks{~0u, p == &p55 ? 0 : ~0u})) << name;
        uint8_t out = 7;
        for (uint8_t index : {32, 255})
            EXPECT_FALSE(p->GetCoilState(index, out) || p->GetInputState(index, out));
        EXPECT_EQ(out, 7);
    }
}

TEST(Protocol55Test, BuildsRequests) {
    Protocol55 protocol;
    // A read sends no range (it reads all); a write is always a toggle.
    // clang-format off
    ExpectFrames(protocol, Rows{
        {{C, 0, 32}, "55 01 10 00 00 00 00 66"}, {{C, 200, 0}, "55 01 10 00 00 00 00 66"},
        {{I, 7, 3}, "55 01 10 00 00 00 00 66"}, {{C, 0, 32, 0xFF}, "55 FF 10 00 00 00 00 64"},
        {{W, 1, 1}, "55 01 20 00 00 00 01 77"}, {{W, 1, 0}, "55 01 20 00 00 00 01 77"},
        {{W, 32, 1}, "55 01 20 00 00 00 20 96"}, {{W, 32, 0, 0xF0}, "55 F0 20 00 00 00 20 85"},
        {{W, 0, 1}, ""}, {{W, 33, 1}, ""}, {{W, 255, 0}, ""}});
    // clang-format on
}

TEST(Protocol55Test, AcceptsAnswersAndRefusesOthersWithoutTouchingTables) {
    const auto accept = ExpectAccepted<Protocol55>;
    const auto text = [](int device, const char* command, uint32_t bits) {
        return "设备" + std::to_string(device) + " 响应[" + command + "]: " + List(1, 32, bits);
    };
    accept({C, 0, 32}, 1, "22 01 10 00 00 00 05 38", text(1, "读取状态", 5), {5, 0});
    accept({I, 0, 32, 9}, 1, "22 09 10 00 00 00 05 40", text(9, "读取状态", 5), {5, 0});
    accept({C, 0, 32}, 1, "22 01 10 00 00 00 05 EE 26", text(1, "读取状态", 5), {5, 0});
    accept({W, 1, 1}, 0, "22 01 20 80 00 00 01 C4", text(1, "翻转", 0x80000001), {0x80000001, 0});
    accept({W, 1, 1}, 1, "22 01 11 00 00 00 03 37", text(1, "断开", 3), {3, 0});
    accept({W, 1, 1}, 0, "22 01 12 12 34 56 78 49", text(1, "吸合", 0x12345678), {0x12345678, 0});

    Protocol55 protocol;
    ASSERT_EQ(Parse(protocol, "22 01 10 5A 5A A5 C3 4F").first, 0);
    ASSERT_EQ(MasksOf(protocol), (Masks{0x5A5AA5C3, 0}));
    ExpectRefused(protocol, {{"55 01 10 00 00 00 00 66", "响应头错误: 期望0x22, 实际0x55"},
                             {"00 01 10 00 00 00 05 00", "响应头错误: 期望0x22, 实际0x00"},
                             {"22 01 10 00 00 00 05 39", "校验和错误"},
                             {"22 01 10 00 00 00 05 38 00", "校验和错误"},
                             {"22 01 13 00 00 00 00 37", "校验和错误"},
                             {"22 01 10 00 00 00 05", "响应数据长度不足"},
                             {"", "响应数据长度不足"},
                             {"22 01 13 00 00 00 00 36", "不支持的功能码: 0x13"}});
    Build(protocol, {C, 0, 32}); // once asked, only that board, and that command, may answer
    ExpectRefused(protocol, {{"22 02 10 00 00 00 05 39", "设备地址不匹配: 期望1, 实际2"},
                             {"22 01 20 00 00 00 05 48", "命令不匹配: 期望0x10, 实际0x20"}});
}

TEST(ModbusProtocolTest, BuildsRequestsAndRefusesBadRanges) {
    EXPECT_EQ(ModbusProtocol::CalcCrc16(Hex("31 32 33 34 35 36 37 38 39").data(), 9), 0x4B37);
    EXPECT_EQ(ModbusProtocol::CalcCrc16(nullptr, 5), 0xFFFF);
    ModbusProtocol protocol;
    // clang-format off
    ExpectFrames(protocol, Rows{
        {{C, 0, 32}, "01 01 00 00 00 20 3D D2"}, {{I, 0, 32}, "01 02 00 00 00 20 79 D2"},
        {{W, 3, 1}, "01 05 00 03 FF 00 7C 3A"}, {{W, 3, 0}, "01 05 00 03 00 00 3D CA"},
        {{C, 31, 1}, "01 01 00 1F 00 01 CC 0C"}, {{C, 5, 1}, "01 01 00 05 00 01 ED CB"}});
    // clang-format on
    ExpectFrames(protocol, kBadRanges);
    int32_t length = 0;
    EXPECT_EQ(protocol.BuildReadCoils(1, 0, 1, nullptr, length), -1);
    // The refusals did not replace the last accepted request (coil 5, count 1).
    EXPECT_EQ(Parse(protocol, "01 01 01 01 90 48"), Outcome(0, "设备1读取线圈状态(地址5): 5:ON"));
}

TEST(ModbusProtocolTest, AcceptsAnswersAndRefusesOthersWithoutTouchingTables) {
    const auto accept = ExpectAccepted<ModbusProtocol>;
    const std::string coils = "设备1读取线圈状态(地址0): ",
                      inputs = "设备1读取离散输入状态(地址0): ";
    const uint32_t m = 0x8000000F;
    accept({C, 0, 32}, 0, "01 01 04 0F 00 00 80 F9 65", coils + List(0, 32, m), {m, 0});
    accept({I, 0, 32}, 0, "01 02 04 0F 00 00 80 F9 56", inputs + List(0, 32, m), {0, m});
    accept({C, 5, 1}, 0, "01 01 01 01 90 48", "设备1读取线圈状态(地址5): 5:ON", {1u << 5, 0});
    accept({C, 5, 1}, 1, "01 01 01 FE D0 08", "设备1读取线圈状态(地址5): 5:OFF", {~(1u << 5), ~0u});
    accept({C, 0, 8}, 0, "01 01 01 FF 11 C8", coils + List(0, 8, 0xFF), {0xFF, 0});
    accept({C, 28, 4}, 0, "11 01 01 FA D5 0B", "设备17读取线圈状态(地址28): " + List(28, 4, 0xA),
           {0xA0000000, 0});
    accept({I, 0, 8}, 0, "01 02 01 81 61 E8", inputs + List(0, 8, 0x81), {0, 0x81});
    accept({W, 3, 1}, 0, "07 05 00 03 FF 00 7C 5C", "设备7写入线圈3: ON", {1u << 3, 0});
    accept({W, 3, 0}, 1, "01 05 00 03 00 00 3D CA", "设备1写入线圈3: OFF", {~(1u << 3), ~0u});

    ModbusProtocol protocol;
    Build(protocol, {C, 0, 32});
    ASSERT_EQ(Parse(protocol, "01 01 04 5A 5A 5A 5A 73 81").first, 0);
    Build(protocol, {I, 0, 32});
    ASSERT_EQ(Parse(protocol, "01 02 04 A5 C3 3C 96 B8 7C").first, 0);
    ASSERT_EQ(MasksOf(protocol), (Masks{0x5A5A5A5A, 0x963CC3A5}));
    Build(protocol, {C, 0, 32});
    // The last request read coils (0x01): another function, exception or not, is refused.
    ExpectRefused(protocol, {{"01 81 02 C1 91", "设备1响应异常: 非法数据地址"},
                             {"01 82 01 81 60", "功能码不匹配: 期望0x01, 实际0x82"},
                             {"05 85 03 43 50", "功能码不匹配: 期望0x01, 实际0x85"},
                             {"01 05 00 03 FF 00 7C 3A", "功能码不匹配: 期望0x01, 实际0x05"},
                             {"01 81 0B 01 97", "设备1响应异常: 错误码: 0x0B"},
                             {"01 81 C0 40", "设备1响应异常: 错误码: 0x00"}, // no room for a code
                             {"01 01 04 0F 00 00 80 F9 66", "CRC校验错误"},
                             {"01 03 02 00 00 B8 45", "CRC校验错误"},
                             {"01 01 04 0F 00 00 80 F9 65 7E", "CRC校验错误"},
                             {"01 01 04", "响应数据长度不足"},
                             {"", "响应数据长度不足"},
                             {"01 01 04 0F 00 5C 0D", "响应数据不全"},
                             {"01 01 C1 E0", "响应数据不全"},
                             {"01 01 02 0F FF FC 4C", "字节数不匹配: 期望4, 实际2"},
                             {"01 01 00 00 00 20 3D D2", "字节数不匹配: 期望4, 实际0"}, // its echo
                             {"01 03 02 00 00 B8 44", "功能码不匹配: 期望0x01, 实际0x03"}});
    Build(protocol, {W, 3, 1});
    ExpectRefused(
        protocol,
        {{"01 85 02 C3 51", "设备1响应异常: 非法数据地址"},
         {"01 05 00 03 51 D8", "响应数据长度不足"},
         {"01 05 00 03 FF 59 BC", "响应数据长度不足"},
         {"01 05 00 03 12 34 30 BD", "写入应答不匹配: 期望线圈3=0xFF00, 实际线圈3=0x1234"},
         {"01 05 00 20 FF 00 8D F0", "写入应答不匹配: 期望线圈3=0xFF00, 实际线圈32=0xFF00"},
         {"01 01 01 01 90 48", "功能码不匹配: 期望0x05, 实际0x01"}});
    ModbusProtocol fresh; // before any request only the function codes it knows are taken
    ExpectRefused(fresh, {{"01 03 02 00 00 B8 44", "不支持的功能码: 0x03"}});
}

// How each protocol measures the bytes received so far: every proper prefix of a whole answer
// is a begun one (0), the whole answer gives its length also with bytes behind it, and bytes
// that no header explains give -1. An answer whose request is not the last one is told apart.
TEST(ProtocolTest, MeasuresAnswersAndTellsLateOnes) {
    struct Row {
        const char* bytes;
        int32_t length; // of the answer at the start, or -1
        bool current;   // answers the request built just before
    };
    const auto check = [](IProtocol& protocol, const Request& request,
                          std::initializer_list<Row> rows) {
        Build(protocol, request);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.bytes);
            const Bytes bytes = Hex(row.bytes);
            const int32_t n = int32_t(bytes.size());
            EXPECT_EQ(protocol.AnswerLength(bytes.data(), n), row.length);
            for (int32_t prefix = 0; row.length > 0 && prefix < row.length; ++prefix)
                EXPECT_EQ(protocol.AnswerLength(bytes.data(), prefix), 0) << prefix;
            if (row.length > 0) {
                EXPECT_EQ(protocol.AnswersLastRequest(bytes.data(), row.length), row.current);
            }
        }
    };
    // clang-format off
    ModbusProtocol rtu;
    check(rtu, {C, 0, 32},
          {{"01 01 04 0F 00 00 80 F9 65", 9, true}, {"01 01 04 0F 00 00 80 F9 65 7E 7E", 9, true},
           {"01 81 02 C1 91", 5, true}, {"01 01 01 01 90 48", 6, false}, // a one-coil read's answer
           {"01 05 00 03 FF 00 7C 3A", 8, false}, {"01 02 04 0F 00 00 80 F9 56", 9, false},
           {"01 01 04 0F 00 00 80 F9 66", -1, false}, // bad CRC
           {"01 03 02 00 00 B8 44", -1, false}, {"01 01 FC", -1, false}}); // longer than any frame
    check(rtu, {W, 3, 1}, {{"01 05 00 03 FF 00 7C 3A", 8, true}, {"01 85 02 C3 51", 5, true},
                           {"01 05 00 04 FF 00 CD FB", 8, false}});
    ModbusTcpProtocol tcp;
    check(tcp, {C, 0, 32},
          {{"00 01 00 00 00 07 01 01 04 0F 00 00 80", 13, true},
           {"00 01 00 00 00 03 01 81 02 00 02", 9, true},
           {"00 00 00 00 00 07 01 01 04 0F 00 00 80", 13, false}, {"00 01 00 01 00 07", -1, false},
           {"00 01 01", -1, false}, {"00 01 00 00 00 01 01", -1, false},
           {"00 01 00 00 01 00", -1, false}});
    Protocol55 p55;
    check(p55, {W, 4, 1},
          {{"22 01 20 00 00 00 08 4B", 8, true}, {"22 01 10 00 00 00 08 3B 00", 8, false},
           {"22 01 10 00 00 00 08 3C", -1, false}, {"55 01 10", -1, false}});
    // clang-format on
}

// Ids rise from 1 and wrap from FFFF to 1; a refused request takes none; only the answer
// to the request in flight is accepted.
TEST(ModbusTcpProtocolTest, NumbersRequestsAndMatchesAnswers) {
    ModbusTcpProtocol protocol;
    ExpectFrames(protocol, Rows{{{C, 0, 32}, "00 01 00 00 00 06 01 01 00 00 00 20"}});
    ExpectFrames(protocol, kBadRanges);
    ExpectFrames(protocol, Rows{{{W, 3, 1}, "00 02 00 00 00 06 01 05 00 03 FF 00"}});
    ExpectRefused(protocol,
                  {{"00 01 00 00 00 07 01 01 04 00 00 00 00", "事务ID不匹配: 期望2, 实际1"}});
    EXPECT_EQ(Parse(protocol, "00 02 00 00 00 06 01 05 00 03 FF 00"), Outcome(0, "写入线圈3: ON"));
    EXPECT_EQ(MasksOf(protocol), (Masks{1u << 3, 0}));

    ExpectFrames(protocol, Rows{{{I, 0, 32}, "00 03 00 00 00 06 01 02 00 00 00 20"},
                                {{W, 31, 0, 0x22}, "00 04 00 00 00 06 22 05 00 1F 00 00"},
                                {{C, 5, 1}, "00 05 00 00 00 06 01 01 00 05 00 01"}});
    ExpectFrames(protocol, kBadRanges);
    EXPECT_EQ(Parse(protocol, "00 05 00 00 00 04 01 01 01 01"),
              Outcome(0, "读取线圈状态(地址5): 5:ON"));

    for (uint32_t id = 6; id < 0xFFFF; ++id)
        Build(protocol, {C, 0, 1});
    ExpectFrames(protocol, Rows{{{C, 0, 1}, "FF FF 00 00 00 06 01 01 00 00 00 01"},
                                {{W, 0, 1}, "00 01 00 00 00 06 01 05 00 00 FF 00"},
                                {{I, 0, 1}, "00 02 00 00 00 06 01 02 00 00 00 01"}});
    EXPECT_EQ(Parse(protocol, "00 02 00 00 00 04 01 02 01 01").first, 0);
}

TEST(ModbusTcpProtocolTest, AcceptsAnswersAndRefusesOthersWithoutTouchingTables) {
    const auto accept = ExpectAccepted<ModbusTcpProtocol>;
    const uint32_t m = 0x8000000F;
    accept({C, 0, 32}, 0, "00 01 00 00 00 07 01 01 04 0F 00 00 80 FF FF",
           "读取线圈状态(地址0): " + List(0, 32, m), {m, 0});
    accept({I, 0, 32}, 0, "00 01 00 00 00 07 01 02 04 0F 00 00 80",
           "读取离散输入状态(地址0): " + List(0, 32, m), {0, m});
    accept({C, 30, 2}, 1, "00 01 00 00 00 04 01 01 01 FD", "读取线圈状态(地址30): 30:ON, 31:OFF",
           {~(1u << 31), ~0u});
    accept({W, 3, 1}, 0, "00 01 00 00 00 06 11 05 00 03 FF 00", "写入线圈3: ON", {1u << 3, 0});
    accept({W, 3, 0}, 1, "00 01 00 00 00 06 01 05 00 03 00 00", "写入线圈3: OFF",
           {~(1u << 3), ~0u});

    ModbusTcpProtocol protocol;
    protocol.ResetStates(1);
    Build(protocol, {C, 0, 32});
    ASSERT_EQ(Parse(protocol, "00 01 00 00 00 07 01 01 04 5A 5A 5A 5A").first, 0);
    ExpectRefused(protocol,
                  {{"00 00 00 00 00 07 01 01 04 0F 00 00 80", "事务ID不匹配: 期望1, 实际0"},
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
                   {"00 01 00 00 00 03 01 81 01", "单元1响应异常: 非法功能"},
                   {"00 01 00 00 00 03 01 81 03", "单元1响应异常: 非法数据值"},
                   {"00 01 00 00 00 03 01 81 FE", "单元1响应异常: 错误码: 0xFE"},
                   {"00 01 00 00 00 03 01 85 03", "功能码不匹配: 期望0x01, 实际0x85"},
                   {"00 01 00 00 00 04 01 01 01 FF", "字节数不匹配: 期望4, 实际1"},
                   {"00 01 00 00 00 01 01 81 02", "PDU 长度不足"},
                   {"00 01 00 00 00 00 01 01 00", "PDU 长度不足"},
                   {"00 01 00 00 00 02 01 01 04", "PDU 长度不足"},
                   {"00 01 00 00 00 06 01 05 00 03 FF 00", "功能码不匹配: 期望0x01, 实际0x05"},
                   {"00 01 00 00 00 06 01 01 04 0F 00 00", "响应数据不全"},
                   {"00 01 00 00 00 03 01 03 00", "功能码不匹配: 期望0x01, 实际0x03"}});
}

} // namespace
