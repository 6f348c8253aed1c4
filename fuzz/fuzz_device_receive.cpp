// Input: one selector byte (protocol and operation), then pieces, each a length byte and
// that many bytes: the first is the input waiting before the request (DiscardPending), each
// further one what one Receive gets, cut to its buffer. A length byte of 0 is a receive
// time-out, 0xFF a receive error. With the selector's top bit set the line echoes: every
// request sent comes back first, as from an RS-485 adapter. Runs one operation of a Device
// on them and checks its results and events: an echo alone is never an answer.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "device/Device.h"
#include "support/ScriptedCommunication.h"

namespace {

// Traps on events that no exchange may raise.
class CheckingCallback : public IDeviceCallback {
public:
    void OnStateChanged(DeviceState, DeviceState) override {}
    void OnCoilChanged(int32_t index, uint8_t state) override { Point(index, state); }
    void OnInputChanged(int32_t index, uint8_t state) override { Point(index, state); }
    void OnLog(const std::string& text, bool) override {
        if (text.empty())
            __builtin_trap();
    }
    void OnOperationResult(const OperationResult& result, uint8_t) override {
        ++results;
        succeeded = result.success;
        if (result.success != (result.code == 0) || result.success != result.message.empty() ||
            result.success != (result.kind == ErrorKind::None))
            __builtin_trap();
    }
    void OnHeartbeatTimeout() override { __builtin_trap(); }
    int results = 0;
    bool succeeded = false;

private:
    static void Point(int32_t index, uint8_t state) {
        if (index < 0 || index > 31 || state > 1)
            __builtin_trap();
    }
};

// One Device for the whole run, as a window keeps one: each input reconnects it, with a
// new protocol object, so that nothing of the previous input carries over.
struct Rig {
    Device device;
    std::shared_ptr<CommScript> script = std::make_shared<CommScript>();
    CheckingCallback events;
    int64_t now = 0;
    size_t fed = 0; // bytes of the input handed to Receive; echoes do not count

    Rig() {
        device.SetHooks({[this](CommType kind) -> std::unique_ptr<ICommunication> {
                             return std::make_unique<ScriptedCommunication>(kind, script);
                         },
                         [this] { return now += 1000; }, [](int32_t) {}});
        DeviceConfig config;
        config.commType = CommType::Tcp;
        device.SetConfig(config);
        device.SetCallback(&events);
    }

    // The pieces as the transport's script.
    void Load(const uint8_t* data, size_t size, bool echoes) {
        *script = CommScript{};
        for (bool first = true; size > 0; first = false) {
            const uint8_t length = *data++;
            const size_t taken = std::min<size_t>(length == 0xFF ? 0 : length, --size);
            std::vector<uint8_t> piece(data, data + taken);
            if (first)
                script->pending.push_back(piece);
            else
                script->replies.push_back({length == 0xFF ? -1 : int32_t(taken), piece});
            data += taken;
            size -= taken;
        }
        fed = 0;
        // Runs in each Receive before it hands out the next reply.
        script->whileWaiting = [this, echoes, echoed = size_t(0)]() mutable {
            const bool echo = echoes && script->sent.size() > echoed;
            if (echo)
                script->replies.push_front(CommScript::Data(script->sent[echoed++]));
            if (script->replies.empty() || script->receives.empty())
                return;
            CommScript::Reply& next = script->replies.front();
            const int32_t capacity = script->receives.back().first;
            if (next.result > capacity) {
                next.result = capacity;
                next.bytes.resize(size_t(capacity));
            }
            fed += echo ? 0 : next.bytes.size();
            // A serial port asks the Device after each read whether the answer is whole.
            if (!echo && !next.bytes.empty() && script->answerCheck)
                script->answerCheck(next.bytes.data(), int32_t(next.bytes.size()));
        };
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static Rig rig;
    Device& device = rig.device;
    const uint8_t selector = data[0];
    device.SetProtocol(static_cast<ProtocolType>(selector % 3));
    device.Disconnect();
    if (!device.Connect())
        __builtin_trap();
    rig.Load(data + 1, size - 1, (selector & 0x80) != 0);
    rig.events.results = 0;
    const uint8_t point = (selector >> 2) % 32;
    switch ((selector / 3) % 3) {
    case 0:
        device.ReadCoils(point, static_cast<uint8_t>(32 - point));
        break;
    case 1:
        device.ReadInputs(0, 32);
        break;
    default:
        device.WriteCoil(point, selector & 1);
        break;
    }
    for (int32_t i = 0; i < 32; ++i) {
        if (device.GetCachedCoil(i) > 1 || device.GetCachedInput(i) > 1)
            __builtin_trap();
    }
    // A read's echo can never be its answer (a write's echo is, until the line is known to echo).
    const bool read = (selector / 3) % 3 != 2;
    if (rig.events.results != 1 || (read && rig.events.succeeded && rig.fed == 0))
        __builtin_trap();
    return 0;
}
