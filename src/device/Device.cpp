#include "device/Device.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "comm/CancelSignal.h"
#include "comm/SerialCommunication.h"
#include "comm/TcpCommunication.h"
#include "comm/UdpCommunication.h"
#include "protocol/ModbusProtocol.h"
#include "protocol/ModbusTcpProtocol.h"
#include "protocol/Protocol55.h"

// Connection states (D Disconnected, C Connecting, OK Connected, E Error, O Offline):
//
//   From       Trigger                                        To
//   D, C, E    Connect: transport made, configured, opened    C, then OK
//   D, C, E    Connect: no transport for commType             E
//   D, C, E    Connect: Configure or Open fails               C, then E
//   OK         Connect                                        OK (nothing raised)
//   O          Connect                                        D silently, then as from D
//   any        Disconnect                                     D
//   C, OK, E   CheckHeartbeat: silence > heartbeatTimeout     O
//   O          bytes received in a transaction                OK
//
// Who talks to whom: one thread at a time calls the Device (the window's worker, or the
// command line's main thread); the Device builds frames with its IProtocol, moves them with
// its ICommunication and reports everything through IDeviceCallback on that thread. The
// calling thread's CancelSignal ends every wait at once: a cancelled operation stops
// retrying and fails with ErrorKind::Cancelled.

namespace {

constexpr uint8_t kReadCoils = 1;
constexpr uint8_t kReadInputs = 2;
constexpr uint8_t kWriteCoil = 5;
constexpr int32_t kPointCount = 32;
constexpr int32_t kSendRetryPauseMs = 100;
constexpr int32_t kCancelledCode = -7;
constexpr int64_t kNsPerMs = 1000000;

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return written < 0 ? std::string() : std::string(text);
}

// The prefix followed by every byte as two upper-case hex digits and one space.
std::string HexLine(const char *prefix, const uint8_t *data, int32_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line(prefix);
    line.reserve(line.size() + 3 * static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
        line += kDigits[data[i] >> 4];
        line += kDigits[data[i] & 0x0F];
        line += ' ';
    }
    return line;
}

// Whether the calling thread has been asked to stop waiting.
bool Cancelled() {
    return CancelSignal::CurrentRaised();
}

OperationResult Failure(int32_t code, ErrorKind kind, std::string message) {
    OperationResult result;
    result.success = false;
    result.code = code;
    result.kind = kind;
    result.message = std::move(message);
    return result;
}

} // namespace

Device::Device() {
    ClearStates();
    lastActivity = NowNs();
}

Device::~Device() {
    Disconnect();
}

void Device::SetCallback(IDeviceCallback *receiver) {
    callback = receiver;
}

void Device::SetTransactionObserver(ITransactionObserver *watcher) {
    observer = watcher;
}

void Device::SetConfig(const DeviceConfig &newConfig) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    config = newConfig;
    if (static_cast<int32_t>(config.commType) != activeCommType) {
        CreateCommunication(static_cast<int32_t>(config.commType));
    }
    if (static_cast<int32_t>(config.protocolType) != activeProtocolType) {
        SetProtocol(config.protocolType);
    }
}

DeviceConfig Device::GetConfig() const {
    return config;
}

bool Device::SetProtocol(ProtocolType type) {
    // The owner is meant to hold the lock already; taking it again costs nothing.
    std::lock_guard<std::recursive_mutex> guard(lock);
    activeProtocolType = static_cast<int32_t>(type);
    std::unique_ptr<IProtocol> made;
    switch (type) {
    case ProtocolType::ModbusRtu:
        made = std::make_unique<ModbusProtocol>();
        break;
    case ProtocolType::ModbusTcp:
        made = std::make_unique<ModbusTcpProtocol>();
        break;
    case ProtocolType::Protocol55:
        made = std::make_unique<Protocol55>();
        break;
    }
    if (!made) {
        protocol.reset();
        return false;
    }
    protocol = std::move(made);
    protocol->ResetStates(0);
    return true;
}

bool Device::CreateCommunication(int32_t type) {
    activeCommType = type;
    std::unique_ptr<ICommunication> made;
    const auto kind = static_cast<CommType>(type);
    if (kind == CommType::Serial || kind == CommType::Tcp || kind == CommType::Udp) {
        if (hooks.makeCommunication) {
            made = hooks.makeCommunication(kind);
        } else if (kind == CommType::Serial) {
            made = std::make_unique<SerialCommunication>();
        } else if (kind == CommType::Tcp) {
            made = std::make_unique<TcpCommunication>();
        } else {
            made = std::make_unique<UdpCommunication>();
        }
    }
    if (!made) {
        comm.reset();
        return false;
    }
    comm = std::move(made);
    comm->Initialize(); // a failed start shows itself as a failed Open
    comm->SetAnswerCheck(
        [this](const uint8_t *data, int32_t length) { return IsWholeAnswer(data, length); });
    return true;
}

bool Device::Connect() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (state == DeviceState::Offline) {
        // The receiver is to see Disconnected -> Connecting, never Offline -> Connecting.
        state = DeviceState::Disconnected;
    } else if (state == DeviceState::Connected) {
        return true;
    }

    if (!comm && !CreateCommunication(static_cast<int32_t>(config.commType))) {
        SetState(DeviceState::Error);
        Log("创建通信对象失败");
        return false;
    }

    SetState(DeviceState::Connecting);
    Log("正在连接...");

    const void *record = nullptr;
    switch (config.commType) {
    case CommType::Serial:
        record = &config.serial;
        break;
    case CommType::Tcp:
        record = &config.tcp;
        break;
    case CommType::Udp:
        record = &config.udp;
        break;
    default:
        break;
    }
    if (record == nullptr || !comm->Configure(record)) {
        SetState(DeviceState::Error);
        Log("配置失败");
        return false;
    }

    if (!comm->Open()) {
        // A connect called off is no faulty setting: the device is simply not connected.
        const bool cancelled = Cancelled();
        SetState(cancelled ? DeviceState::Disconnected : DeviceState::Error);
        Log(cancelled ? "连接已取消" : "连接失败");
        return false;
    }
    SetState(DeviceState::Connected);
    Log("连接成功");
    lastActivity = NowNs();
    if (observer)
        observer->OnConnected();
    staleCount = 0; // what came on the old connection is gone with it
    return true;
}

void Device::Disconnect() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (comm)
        comm->Close();
    SetState(DeviceState::Disconnected);
    Log("已断开连接");
}

bool Device::IsConnected() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return state == DeviceState::Connected && comm && comm->IsOpen();
}

DeviceState Device::GetState() const {
    return state;
}

int32_t Device::GetActiveCommType() const {
    return activeCommType;
}

OperationResult Device::ReadCoils(uint8_t start, uint8_t count) {
    if (!MayExchange())
        return Failure(-1, ErrorKind::NotConnected, "设备未连接");
    OperationResult result = Transact(config.slaveAddress, kReadCoils, start, count, nullptr, 0);
    if (observer)
        observer->OnTransaction(result, roundTripNs);
    if (callback)
        callback->OnOperationResult(result, kReadCoils);
    return result;
}

OperationResult Device::ReadInputs(uint8_t start, uint8_t count) {
    if (!MayExchange())
        return Failure(-1, ErrorKind::NotConnected, "设备未连接");
    OperationResult result = Transact(config.slaveAddress, kReadInputs, start, count, nullptr, 0);
    if (observer)
        observer->OnTransaction(result, roundTripNs);
    if (callback)
        callback->OnOperationResult(result, kReadInputs);
    return result;
}

OperationResult Device::WriteCoil(uint8_t index, uint8_t value) {
    if (!MayExchange())
        return Failure(-1, ErrorKind::NotConnected, "设备未连接");
    if (index >= kPointCount)
        return Failure(-2, ErrorKind::InvalidArgument, "地址超出范围");

    uint8_t previous;
    {
        // Show the requested state at once; the answer confirms or corrects it.
        std::lock_guard<std::recursive_mutex> guard(lock);
        previous = coilCache[index];
        coilCache[index] = value;
        if (callback)
            callback->OnCoilChanged(index, value);
    }

    const uint8_t data[2] = {static_cast<uint8_t>(value != 0 ? 0xFF : 0x00), 0x00};
    OperationResult result = Transact(config.slaveAddress, kWriteCoil, index, value, data, 2);

    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (result.success) {
            SyncStates();
        } else {
            coilCache[index] = previous;
            if (callback)
                callback->OnCoilChanged(index, previous);
            Log(Format("写线圈 %d 失败，已回滚", index));
        }
    }
    if (observer)
        observer->OnTransaction(result, roundTripNs);
    if (callback)
        callback->OnOperationResult(result, kWriteCoil);
    return result;
}

void Device::ClearStates() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    for (int32_t i = 0; i < kPointCount; ++i) {
        coilCache[i] = 0;
        inputCache[i] = 0;
    }
    if (protocol)
        protocol->ResetStates(0);
    if (!callback)
        return;
    for (int32_t i = 0; i < kPointCount; ++i) {
        callback->OnCoilChanged(i, 0);
        callback->OnInputChanged(i, 0);
    }
}

uint8_t Device::GetCachedCoil(int32_t index) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return index >= 0 && index < kPointCount ? coilCache[index] : 0;
}

uint8_t Device::GetCachedInput(int32_t index) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return index >= 0 && index < kPointCount ? inputCache[index] : 0;
}

void Device::CheckHeartbeat() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    // Error means the last connect failed: that is no silent board, and going Offline
    // would let operations run on a transport that is not open.
    if (state == DeviceState::Disconnected || state == DeviceState::Offline ||
        state == DeviceState::Error)
        return;
    const int64_t silenceMs = (NowNs() - lastActivity) / kNsPerMs;
    if (silenceMs <= config.heartbeatTimeout)
        return;
    SetState(DeviceState::Offline);
    Log("心跳超时，设备掉线");
    if (callback)
        callback->OnHeartbeatTimeout();
}

void Device::SetHooks(Hooks newHooks) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    hooks = std::move(newHooks);
    // Silence is measured on one clock: restart it on the clock now in force.
    lastActivity = NowNs();
}

OperationResult Device::Transact(uint8_t slaveAddress, uint8_t functionCode, uint8_t start,
                                 uint8_t countOrValue, const uint8_t *data, int32_t dataLength) {
    uint8_t request[kFrameBufferSize];
    int32_t requestLength = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (!BuildRequest(slaveAddress, functionCode, start, countOrValue, data, dataLength,
                          request, requestLength)) {
            return Failure(-2, ErrorKind::InvalidArgument, "构建报文失败");
        }
    }

    roundTripNs = -1;
    DiscardStaleInput();

    // Send phase: up to retryCount attempts with a pause after each failed one.
    const int32_t attempts = config.retryCount;
    int32_t sent = -1;
    bool delivered = false;
    int64_t sentAt = 0;
    for (int32_t failed = 0; failed < attempts;) {
        sent = -1;
        if (comm && comm->IsOpen()) {
            Log(HexLine("发送: ", request, requestLength), true);
            sentAt = NowNs();
            sent = comm->Send(request, requestLength);
        }
        if (sent == requestLength) {
            delivered = true;
            break;
        }
        ++failed;
        if (Cancelled())
            return Failure(kCancelledCode, ErrorKind::Cancelled, "操作已取消");
        Log(Format("发送失败，重试 %d/%d", failed, attempts), true);
        if (hooks.sleepMs) {
            hooks.sleepMs(kSendRetryPauseMs);
        } else if (CancelSignal *signal = CancelSignal::Current()) {
            signal->WaitMs(kSendRetryPauseMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSendRetryPauseMs));
        }
    }
    if (!delivered)
        return Failure(-3, ErrorKind::SendFailed, Format("发送失败，已发送: %d 字节", sent));

    // Receive phase: the first attempt that delivers bytes begins the answer.
    uint8_t answer[kFrameBufferSize];
    int32_t received = 0;
    int32_t failed = 0;
    do {
        received = ReceiveFrame(answer, kFrameBufferSize, config.receiveTimeout);
        if (Cancelled())
            return Failure(kCancelledCode, ErrorKind::Cancelled, "操作已取消");
        if (received > 0)
            break;
        ++failed;
        if (received == 0)
            Log(Format("接收超时，重试 %d/%d", failed, attempts));
    } while (failed < attempts);
    if (received < 0)
        return Failure(-4, ErrorKind::ReceiveFailed, "接收失败");
    if (received == 0)
        return Failure(-5, ErrorKind::Timeout, "接收超时");
    received = CollectAnswer(answer, received);
    if (Cancelled())
        return Failure(kCancelledCode, ErrorKind::Cancelled, "操作已取消");
    roundTripNs = NowNs() - sentAt;

    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!protocol)
        return Failure(-6, ErrorKind::NoProtocol, "协议未初始化");
    std::string text;
    const int32_t parsed = protocol->ParseResponse(answer, received, text);
    if (parsed != 0)
        return Failure(parsed, ErrorKind::Malformed, std::move(text));
    SyncStates();
    OperationResult result;
    result.success = true;
    result.code = 0;
    result.detail = std::move(text);
    return result;
}

bool Device::BuildRequest(uint8_t slaveAddress, uint8_t functionCode, uint8_t start,
                          uint8_t countOrValue, const uint8_t *data, int32_t dataLength,
                          uint8_t *out, int32_t &outLength) {
    if (!protocol)
        return false;
    bool on = countOrValue != 0;
    if (data != nullptr && dataLength >= 2)
        on = data[0] == 0xFF && data[1] == 0x00;

    int32_t built = -1;
    int32_t length = 0;
    // Chosen by the kind of the object held, which may differ from the configured kind.
    switch (static_cast<ProtocolType>(activeProtocolType)) {
    case ProtocolType::ModbusRtu:
    case ProtocolType::ModbusTcp:
        if (functionCode == kReadCoils) {
            built = protocol->BuildReadCoils(slaveAddress, start, countOrValue, out, length);
        } else if (functionCode == kReadInputs) {
            built = protocol->BuildReadInputs(slaveAddress, start, countOrValue, out, length);
        } else if (functionCode == kWriteCoil) {
            built = protocol->BuildWriteCoil(slaveAddress, start, on, out, length);
        }
        break;
    case ProtocolType::Protocol55:
        // The board has one status command for coils and inputs, and numbers its
        // relay channels from 1.
        if (functionCode == kReadCoils || functionCode == kReadInputs) {
            built = protocol->BuildReadCoils(slaveAddress, start, countOrValue, out, length);
        } else if (functionCode == kWriteCoil) {
            const auto channel = static_cast<uint8_t>(start + 1);
            if (channel <= kPointCount) {
                built = protocol->BuildWriteCoil(slaveAddress, channel, on, out, length);
            }
        }
        break;
    }
    // A length outside the buffer would make the send and the log read past it.
    if (built != 0 || length <= 0 || length > kFrameBufferSize)
        return false;
    outLength = length;
    return true;
}

int32_t Device::ReceiveFrame(uint8_t *buffer, int32_t size, int32_t timeoutMs) {
    if (!comm || !comm->IsOpen())
        return -1;
    int32_t count = comm->Receive(buffer, size, timeoutMs);
    // A transport can never have delivered more than the buffer holds.
    if (count > size)
        count = size;
    if (count > 0) {
        lastActivity = NowNs();
        if (state == DeviceState::Offline) {
            SetState(DeviceState::Connected);
            Log("收到数据，设备自动恢复连接");
            SyncStates();
        }
        Log(HexLine("接收: ", buffer, count));
    }
    return count;
}

void Device::DiscardStaleInput() {
    if (!comm || !comm->IsOpen())
        return;
    uint8_t dropped[kDiscardBufferSize];
    int32_t count = staleCount;
    std::memcpy(dropped, staleBytes, static_cast<size_t>(staleCount));
    staleCount = 0;
    while (count < kDiscardBufferSize) {
        const int32_t n = comm->DiscardPending(dropped + count, kDiscardBufferSize - count);
        if (n <= 0)
            break;
        count += n > kDiscardBufferSize - count ? kDiscardBufferSize - count : n;
    }
    if (count > 0)
        Log(HexLine("丢弃过期数据: ", dropped, count));
}

// The answer may come in pieces, behind a late answer to an earlier request or behind
// stray bytes, and may have stray bytes behind it. Collects, within one window, until the
// buffer holds one whole answer to this request, moves it to the front and returns its
// length; what stood before it is logged and dropped, what follows it is kept as stale.
// When nothing more comes: a late answer is returned (to be refused with its own
// reason), and bytes that hold no answer are returned whole, to be parsed as they are.
int32_t Device::CollectAnswer(uint8_t *buffer, int32_t count) {
    if (!protocol)
        return count;
    // The window is measured on the Device's own clock, like the silence.
    const int64_t windowMs =
        int64_t{config.receiveTimeout} * (config.retryCount > 1 ? config.retryCount : 1);
    const int64_t windowEnd = NowNs() + windowMs * kNsPerMs;
    // What is settled at each offset: more bytes never make unexplained bytes an answer,
    // nor change a whole answer, so only offsets where an answer has begun are asked again.
    enum : uint8_t { kBegun, kNothing, kLate };
    uint8_t settled[kFrameBufferSize] = {};
    for (;;) {
        int32_t first = -1; // where the first answer, whole or begun, starts
        for (int32_t at = 0; at < count; ++at) {
            if (settled[at] == kBegun) {
                const int32_t whole = protocol->AnswerLength(buffer + at, count - at);
                if (whole > 0 && protocol->AnswersLastRequest(buffer + at, whole)) {
                    DropFront(buffer, count, at);
                    staleCount = count - whole;
                    std::memcpy(staleBytes, buffer + whole, static_cast<size_t>(staleCount));
                    return whole;
                }
                settled[at] = whole < 0 ? kNothing : whole > 0 ? kLate : kBegun;
            }
            if (settled[at] != kNothing && first < 0)
                first = at;
        }
        if (first < 0)
            return count;

        // Begun, or a late answer that this request's own may follow: wait for more.
        int32_t more = 0;
        const int64_t leftMs = (windowEnd - NowNs() + kNsPerMs - 1) / kNsPerMs;
        if (count < kFrameBufferSize && leftMs > 0) {
            const auto wait = static_cast<int32_t>(
                leftMs < config.receiveTimeout ? leftMs : int64_t{config.receiveTimeout});
            more = ReceiveFrame(buffer + count, kFrameBufferSize - count, wait);
        }
        if (more > 0) {
            count += more;
            continue;
        }
        const int32_t late = protocol->AnswerLength(buffer + first, count - first);
        if (late <= 0)
            return count;
        DropFront(buffer, count, first);
        staleCount = count - late;
        std::memcpy(staleBytes, buffer + late, static_cast<size_t>(staleCount));
        return late;
    }
}

void Device::DropFront(uint8_t *buffer, int32_t &count, int32_t dropped) {
    if (dropped <= 0)
        return;
    Log(HexLine("丢弃过期数据: ", buffer, dropped));
    count -= dropped;
    std::memmove(buffer, buffer + dropped, static_cast<size_t>(count));
}

// For the transport: true once the bytes begin with a whole answer, or hold one to this
// request behind stray bytes or a late answer.
bool Device::IsWholeAnswer(const uint8_t *data, int32_t length) {
    for (int32_t at = 0; protocol && at < length; ++at) {
        const int32_t whole = protocol->AnswerLength(data + at, length - at);
        if (whole > 0 && (at == 0 || protocol->AnswersLastRequest(data + at, whole)))
            return true;
    }
    return false;
}

void Device::SyncStates() {
    if (!protocol)
        return;
    for (int32_t i = 0; i < kPointCount; ++i) {
        const auto index = static_cast<uint8_t>(i);
        uint8_t value = 0;
        if (protocol->GetCoilState(index, value) && value != coilCache[i]) {
            coilCache[i] = value;
            if (callback)
                callback->OnCoilChanged(i, value);
        }
        if (protocol->GetInputState(index, value) && value != inputCache[i]) {
            inputCache[i] = value;
            if (callback)
                callback->OnInputChanged(i, value);
        }
    }
}

bool Device::MayExchange() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    // Offline devices are still asked, so that their next answer can bring them back.
    return IsConnected() || (state == DeviceState::Offline && comm && comm->IsOpen());
}

void Device::SetState(DeviceState newState) {
    if (newState == state)
        return;
    const DeviceState oldState = state;
    state = newState;
    if (callback)
        callback->OnStateChanged(oldState, newState);
}

void Device::Log(const std::string &text, bool isSend) {
    if (callback)
        callback->OnLog(text, isSend);
}

int64_t Device::NowNs() const {
    if (hooks.nowNs)
        return hooks.nowNs();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
