#include <memory>

#include "ProtocolTestSupport.h"
#include "protocol/ModbusProtocol.h"
#include "protocol/ModbusTcpProtocol.h"
#include "protocol/Protocol55.h"

namespace {

// Every kind starts all OFF, refuses indexes from 32 and is filled by ResetStates
// (Protocol55 keeps its inputs OFF).
TEST(ProtocolCommonTest, TablesStartOffAndFollowReset) {
    std::unique_ptr<IProtocol> kinds[] = {std::make_unique<ModbusProtocol>(),
                                          std::make_unique<ModbusTcpProtocol>(),
                                          std::make_unique<Protocol55>()};
    const char* names[] = {"Modbus RTU", "Modbus TCP", "55协议"};
    const uint32_t inputsAfterReset[] = {~0u, ~0u, 0};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(names[k]);
        IProtocol& protocol = *kinds[k];
        EXPECT_EQ(protocol.GetName(), names[k]);
        EXPECT_EQ(MasksOf(protocol), (Masks{0, 0}));
        protocol.ResetStates(1);
        EXPECT_EQ(MasksOf(protocol), (Masks{~0u, inputsAfterReset[k]}));
        for (uint8_t index : {32, 33, 255}) {
            uint8_t out = 7;
            EXPECT_FALSE(protocol.GetCoilState(index, out));
            EXPECT_FALSE(protocol.GetInputState(index, out));
            EXPECT_EQ(out, 7);
        }
        protocol.ResetStates(0);
        EXPECT_EQ(MasksOf(protocol), (Masks{0, 0}));
    }
}

} // namespace
