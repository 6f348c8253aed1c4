// The simulator seen by libmodbus, an independent Modbus client: reads, writes and
// exceptions over Modbus TCP and over Modbus RTU on the simulator's pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <modbus/modbus.h>

#include "support/SimProcess.h"

namespace {

enum class Link { Tcp, Rtu };

struct ModbusFree {
    void operator()(modbus_t *context) const {
        modbus_close(context);
        modbus_free(context);
    }
};
using ModbusContext = std::unique_ptr<modbus_t, ModbusFree>;

class SimLibmodbus : public ::testing::TestWithParam<Link> {
protected:
    void SetUp() override {
        // Coils 0-3 and 31 on; inputs 0, 2, 5 and 7 on.
        ASSERT_TRUE(sim.Start(
            {"--tcp", "0", "--pty", "--quiet", "--coils", "8000000F", "--inputs", "000000A5"}))
            << sim.ErrorOutput();
        context = Connect(1);
        ASSERT_TRUE(context) << modbus_strerror(errno);
    }

    ModbusContext Connect(int slave) {
        modbus_t *raw = GetParam() == Link::Tcp
                            ? modbus_new_tcp("127.0.0.1", sim.TcpPort())
                            : modbus_new_rtu(sim.PtyPath().c_str(), 115200, 'N', 8, 1);
        if (raw == nullptr)
            return nullptr;
        ModbusContext made(raw);
        modbus_set_slave(raw, slave);
        modbus_set_response_timeout(raw, 2, 0);
        if (modbus_connect(raw) != 0)
            return nullptr;
        return made;
    }

    // Sends a request PDU (libmodbus adds address and framing) and returns the
    // answer PDU, function code first.
    std::vector<uint8_t> RawExchange(std::vector<uint8_t> request) {
        request.insert(request.begin(), 1); // the slave address
        if (modbus_send_raw_request(context.get(), request.data(),
                                    static_cast<int>(request.size())) < 0) {
            return {};
        }
        uint8_t answer[MODBUS_MAX_ADU_LENGTH];
        int length = modbus_receive_confirmation(context.get(), answer);
        if (length < 0)
            return {};
        int header = modbus_get_header_length(context.get());
        int checksum = GetParam() == Link::Rtu ? 2 : 0;
        return std::vector<uint8_t>(answer + header, answer + length - checksum);
    }

    SimProcess sim{VORNAK_SIM_PATH};
    ModbusContext context;
};

} // namespace

TEST_P(SimLibmodbus, ReadsTheInitialCoilsAndInputs) {
    uint8_t coils[32] = {};
    ASSERT_EQ(modbus_read_bits(context.get(), 0, 32, coils), 32) << modbus_strerror(errno);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(coils[i], i < 4 || i == 31 ? 1 : 0) << "coil " << i;

    uint8_t inputs[32] = {};
    ASSERT_EQ(modbus_read_input_bits(context.get(), 0, 32, inputs), 32) << modbus_strerror(errno);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(inputs[i], (0xA5u >> i & 1u)) << "input " << i;
    }

    // A window that is not byte-aligned: coils 2..11, two data bytes.
    uint8_t some[10] = {};
    ASSERT_EQ(modbus_read_bits(context.get(), 2, 10, some), 10) << modbus_strerror(errno);
    EXPECT_EQ(some[0], 1);
    EXPECT_EQ(some[1], 1);
    for (int i = 2; i < 10; ++i)
        EXPECT_EQ(some[i], 0) << "coil " << 2 + i;

    uint8_t last = 0;
    ASSERT_EQ(modbus_read_bits(context.get(), 31, 1, &last), 1) << modbus_strerror(errno);
    EXPECT_EQ(last, 1);
}

TEST_P(SimLibmodbus, WritesCoilsThatReadBackAndShowInTheState) {
    ASSERT_EQ(modbus_write_bit(context.get(), 0, 0), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_write_bit(context.get(), 17, 1), 1) << modbus_strerror(errno);
    // Writing the state a coil already has is not an error.
    ASSERT_EQ(modbus_write_bit(context.get(), 17, 1), 1) << modbus_strerror(errno);

    uint8_t coils[32] = {};
    ASSERT_EQ(modbus_read_bits(context.get(), 0, 32, coils), 32) << modbus_strerror(errno);
    EXPECT_EQ(coils[0], 0);
    EXPECT_EQ(coils[17], 1);
    EXPECT_EQ(coils[1], 1);

    uint32_t coilWord = 0;
    uint32_t inputWord = 0;
    ASSERT_TRUE(sim.ReadStates(coilWord, inputWord));
    EXPECT_EQ(coilWord, 0x8002000Eu);
    EXPECT_EQ(inputWord, 0xA5u);
}

TEST_P(SimLibmodbus, AnswersWithTheStandardExceptions) {
    uint8_t bits[40] = {};
    errno = 0;
    EXPECT_EQ(modbus_read_bits(context.get(), 30, 5, bits), -1);
    EXPECT_EQ(errno, EMBXILADD) << modbus_strerror(errno);
    errno = 0;
    EXPECT_EQ(modbus_read_input_bits(context.get(), 32, 1, bits), -1);
    EXPECT_EQ(errno, EMBXILADD) << modbus_strerror(errno);
    errno = 0;
    EXPECT_EQ(modbus_write_bit(context.get(), 32, 1), -1);
    EXPECT_EQ(errno, EMBXILADD) << modbus_strerror(errno);
    errno = 0;
    uint16_t registers[1] = {};
    EXPECT_EQ(modbus_read_registers(context.get(), 0, 1, registers), -1);
    EXPECT_EQ(errno, EMBXILFUN) << modbus_strerror(errno);

    // Requests libmodbus would not build itself: a coil value other than ON or OFF,
    // and a read of zero points.
    EXPECT_EQ(RawExchange({0x05, 0x00, 0x03, 0x12, 0x34}), (std::vector<uint8_t>{0x85, 0x03}));
    EXPECT_EQ(RawExchange({0x01, 0x00, 0x00, 0x00, 0x00}), (std::vector<uint8_t>{0x81, 0x03}));

    // None of them changed a coil.
    uint32_t coilWord = 0;
    uint32_t inputWord = 0;
    ASSERT_TRUE(sim.ReadStates(coilWord, inputWord));
    EXPECT_EQ(coilWord, 0x8000000Fu);
}

TEST_P(SimLibmodbus, DoesNotAnswerAnotherDeviceAddress) {
    ModbusContext other = Connect(2);
    ASSERT_TRUE(other) << modbus_strerror(errno);
    modbus_set_response_timeout(other.get(), 0, 300000);
    errno = 0;
    EXPECT_EQ(modbus_write_bit(other.get(), 5, 1), -1);
    EXPECT_EQ(errno, ETIMEDOUT) << modbus_strerror(errno);
    other.reset();

    uint32_t coilWord = 0;
    uint32_t inputWord = 0;
    ASSERT_TRUE(sim.ReadStates(coilWord, inputWord));
    EXPECT_EQ(coilWord, 0x8000000Fu) << "a request for device 2 switched a coil";
}

INSTANTIATE_TEST_SUITE_P(Links, SimLibmodbus, ::testing::Values(Link::Tcp, Link::Rtu),
                         [](const ::testing::TestParamInfo<Link> &info) {
                             return info.param == Link::Tcp ? "Tcp" : "Rtu";
                         });
