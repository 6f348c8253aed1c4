// Input: one selector byte (protocol and operation), then pieces, each a length byte and
// that many bytes, handed out by a transport one piece per call: first to DiscardPending
// (the input waiting before the request), then to Receive. A length byte of 0 is a
// receive time-out, 0xFF a receive error. With the selector's top bit set the line echoes:
// every request sent comes back first, as from an RS-485 adapter. Runs one operation of a
// Device on them and checks its results and events: an echo alone is never an answer.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/Device.h"

namespace {

class FuzzedCommunication : public ICommunication {
public:
    void Feed(const uint8_t* bytes, size_t count, bool echoes) {
        data = bytes;
        size = count;
        echo.clear();
        lineEchoes = echoes;
        fed = 0;
    }
    // Bytes of the input handed out since Feed; echoes do not count.
    size_t Fed() const { return fed; }
    bool Initialize() override { return true; }
    bool Configure(const void* config) override { return config != nullptr; }
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    int32_t Send(const uint8_t* frame, int32_t length) override {
        if (open && lineEchoes)
            echo.assign(frame, frame + length);
        return open ? length : -1;
    }
    int32_t Receive(uint8_t* buffer, int32_t capacity, int32_t) override {
        if (!open || capacity <= 0)
            return -1;
        if (!echo.empty()) {
            const int32_t n = std::min(static_cast<int32_t>(echo.size()), capacity);
            std::memcpy(buffer, echo.data(), static_cast<size_t>(n));
            echo.clear();
            return n;
        }
        const int32_t n = NextPiece(buffer, capacity);
        if (n > 0 && check)
            check(buffer, n); // as a serial port asks it after each read
        return n;
    }
    void SetAnswerCheck(AnswerCheck answerCheck) override { check = std::move(answerCheck); }
    int32_t DiscardPending(uint8_t* buffer, int32_t capacity) override {
        if (!open || capacity < 0)
            return -1;
        const int32_t n = NextPiece(buffer, capacity);
        return n < 0 ? 0 : n;
    }

private:
    // The next piece, cut to capacity: its length, 0 (time-out, or input used up) or -1.
    int32_t NextPiece(uint8_t* buffer, int32_t capacity) {
        if (size == 0)
            return 0;
        const uint8_t length = *data++;
        --size;
        if (length == 0xFF)
            return -1;
        const size_t taken = length < size ? length : size;
        const size_t n = taken < size_t(capacity) ? taken : size_t(capacity);
        std::memcpy(buffer, data, n);
        fed += n;
        data += taken;
        size -= taken;
        return static_cast<int32_t>(n);
    }

    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t fed = 0;
    std::vector<uint8_t> echo; // the last request, when the line echoes and it is not read yet
    bool lineEchoes = false;
    bool open = false;
    AnswerCheck check;
};

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
    FuzzedCommunication* transport = nullptr;
    CheckingCallback events;
    int64_t now = 0;

    Rig() {
        device.SetHooks({[this](CommType) -> std::unique_ptr<ICommunication> {
                             auto made = std::make_unique<FuzzedCommunication>();
                             transport = made.get();
                             return made;
                         },
                         [this] { return now += 1000; }, [](int32_t) {}});
        DeviceConfig config;
        config.commType = CommType::Tcp;
        device.SetConfig(config);
        device.SetCallback(&events);
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
    if (!device.Connect() || rig.transport == nullptr)
        __builtin_trap();
    rig.transport->Feed(data + 1, size - 1, (selector & 0x80) != 0);
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
    if (rig.events.results != 1 || (read && rig.events.succeeded && rig.transport->Fed() == 0))
        __builtin_trap();
    return 0;
}
