// A Device against a libmodbus server, Modbus TCP over loopback and Modbus RTU over a
// pseudo-terminal: our requests must be accepted, and its answers (exception answers
// among them) read to the same states.
#include <gtest/gtest.h>
#include <memory>
#include <set>

#include "LibmodbusServer.h"
#include "device/Device.h"

namespace {

const std::set<int> kCoilsOn = {0, 3, 7, 8, 15, 16, 23, 30, 31};
const std::set<int> kInputsOn = {1, 2, 9, 17, 24, 31};

class LibmodbusInterop : public ::testing::TestWithParam<bool> { // true: RTU
protected:
    // A server with `points` coils and inputs, and the Device connected to it.
    void Start(int points) {
        const bool rtu = GetParam();
        server = std::make_unique<LibmodbusServer>(points, points);
        for (int i = 0; i < points; ++i) {
            server->SetCoil(i, kCoilsOn.count(i));
            server->SetInput(i, kInputsOn.count(i));
        }
        ASSERT_TRUE(rtu ? server->StartRtu() : server->StartTcp());
        DeviceConfig config;
        config.commType = rtu ? CommType::Serial : CommType::Tcp;
        config.protocolType = rtu ? ProtocolType::ModbusRtu : ProtocolType::ModbusTcp;
        config.serial = {server->SerialPath(), 115200};
        config.tcp.port = server->Port();
        config.receiveTimeout = 1000;
        ASSERT_TRUE(device.SetProtocol(config.protocolType));
        device.SetConfig(config);
        ASSERT_TRUE(device.Connect());
    }

    std::unique_ptr<LibmodbusServer> server;
    Device device; // goes before the server
};

TEST_P(LibmodbusInterop, ReadsARangeAtAnOffsetEveryPointAndSwitchesCoils) {
    ASSERT_NO_FATAL_FAILURE(Start(32));
    const OperationResult range = device.ReadCoils(5, 11); // coils 5..15: two data bytes
    ASSERT_TRUE(range.success) << range.message;
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(device.GetCachedCoil(i), i >= 5 && i <= 15 && kCoilsOn.count(i)) << i;
    const OperationResult inputs = device.ReadInputs(0, 32);
    ASSERT_TRUE(inputs.success) << inputs.message;
    for (int index : {5, 31, 0}) {
        const bool wasOn = server->Coil(index);
        const OperationResult r = device.WriteCoil(index, !wasOn);
        ASSERT_TRUE(r.success) << r.message;
        EXPECT_EQ(server->Coil(index), !wasOn) << index;
    }
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(device.GetCachedCoil(i),
                  (kCoilsOn.count(i) == 1) != (i == 0 || i == 5 || i == 31))
            << "coil " << i;
        EXPECT_EQ(device.GetCachedInput(i), kInputsOn.count(i)) << "input " << i;
    }
}

TEST_P(LibmodbusInterop, ExceptionAnswersBecomeTheFailureText) {
    // With 16 points, a read of 32 or a write to coil 20 lies beyond the server's table.
    ASSERT_NO_FATAL_FAILURE(Start(16));
    const std::string text =
        GetParam() ? "设备1响应异常: 非法数据地址" : "单元1响应异常: 非法数据地址";
    OperationResult r = device.ReadCoils(0, 32);
    EXPECT_EQ(r.kind, ErrorKind::Exception);
    EXPECT_EQ(r.exceptionCode, 2);
    EXPECT_EQ(r.message, text);
    r = device.WriteCoil(20, 1);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.message, text);
    EXPECT_EQ(device.GetCachedCoil(20), 0); // rolled back
    r = device.ReadInputs(0, 16);           // within its table it still works
    ASSERT_TRUE(r.success) << r.message;
    EXPECT_EQ(device.GetCachedInput(9), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, LibmodbusInterop, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ModbusRtu" : "ModbusTcp";
                         });

} // namespace
