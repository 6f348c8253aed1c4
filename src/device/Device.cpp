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
constexpr int64_t kNsPerMs = 1000000;

// OperationResult codes, one meaning each.
constexpr int32_t kCodeNotConnected = -1;
constexpr int32_t kCodeOutOfRange = -2;
constexpr int32_t kCodeSendFailed = -3;
constexpr int32_t kCodeReceiveFailed = -4;
constexpr int32_t kCodeTimeout = -5;
constexpr int32_t kCodeNoProtocol = -6;
constexpr int32_t kCodeCancelled = -7;
constexpr int32_t kCodeNotBuilt = -8;
constexpr int32_t kCodeRefused = -9;
constexpr int32_t kCodeClosed = -10;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return written < 0 ? std::string() : std::string(text);
}

// The prefix followed by every byte as two upper-case hex digits and one space.
std::string HexLine(const char* prefix, const uint8_t* data, int32_t length) {
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

void Device::SetCallback(IDeviceCallback* receiver) {
    callback = receiver;
}

void Device::SetTransactionObserver(ITransactionObserver* watcher) {
    observer = watcher;
}

void Device::SetConfig(const DeviceConfig& newConfig) {
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
        [this](const uint8_t* data, int32_t length) { return IsWholeAnswer(data, length); });
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

    const void* record = nullptr;
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
    lastAnswerNs = 0;
    lastSentNs = NowNs();
    lineEchoes = false; // another line, or another adapter, may not echo
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
        return Failure(kCodeNotConnected, ErrorKind::NotConnected, "设备未连接");
    OperationResult result = Transact(config.slaveAddress, kReadCoils, start, count, nullptr, 0);
    if (observer)
        observer->OnTransaction(result, roundTripNs);
    if (callback)
        callback->OnOperationResult(result, kReadCoils);
    return result;
}

OperationResult Device::ReadInputs(uint8_t start, uint8_t count) {
    if (!MayExchange())
        return Failure(kCodeNotConnected, ErrorKind::NotConnected, "设备未连接");
    OperationResult result = Transact(config.slaveAddress, kReadInputs, start, count, nullptr, 0);
    if (observer)
        observer->OnTransaction(result, roundTripNs);
    if (callback)
        callback->OnOperationResult(result, kReadInputs);
    return result;
}

OperationResult Device::WriteCoil(uint8_t index, uint8_t value) {
    if (!MayExchange())
        return Failure(kCodeNotConnected, ErrorKind::NotConnected, "设备未连接");
    if (index >= kPointCount)
        return Failure(kCodeOutOfRange, ErrorKind::InvalidArgument, "地址超出范围");

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
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        // Error means the last connect failed: that is no silent board, and going Offline
        // would let operations run on a transport that is not open.
        if (state == DeviceState::Disconnected || state == DeviceState::Error)
            return;
        if (state == DeviceState::Offline) {
            // A connection lost and not regained is tried again on every check, so that a
            // rebooted gateway or a restarted board comes back by itself; once open, one
            // read asks whether the board answers.
            if (comm && !comm->IsOpen() && comm->Open()) {
                Log("连接成功");
                staleCount = 0;
                lastAnswerNs = 0;
            } else {
                return;
            }
        } else {
            const int64_t now = NowNs();
            if ((now - lastActivity) / kNsPerMs <= config.heartbeatTimeout)
                return;
            // Requests that went unanswered for that long tell enough; without any (no
            // timed poll), the board is asked once before it is declared gone.
            if ((now - lastSentNs) / kNsPerMs <= config.heartbeatTimeout) {
                DeclareOffline();
                return;
            }
        }
    }
    const OperationResult probe = ReadCoils(0, kPointCount);
    std::lock_guard<std::recursive_mutex> guard(lock);
    // Any bytes, even a refused answer, show a board that is there; a probe called off
    // shows nothing either way.
    if (probe.success || probe.kind == ErrorKind::Cancelled ||
        (NowNs() - lastActivity) / kNsPerMs <= config.heartbeatTimeout)
        return;
    if (state == DeviceState::Connected || state == DeviceState::Connecting)
        DeclareOffline();
}

void Device::DeclareOffline() {
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
                                 uint8_t countOrValue, const uint8_t* data, int32_t dataLength) {
    uint8_t request[kFrameBufferSize];
    int32_t requestLength = 0;
    bool repeatable = true;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (!BuildRequest(slaveAddress, functionCode, start, countOrValue, data, dataLength,
                          request, requestLength)) {
            return Failure(kCodeNotBuilt,
                           protocol ? ErrorKind::InvalidArgument : ErrorKind::NoProtocol,
                           "构建报文失败");
        }
        // A read, or setting a coil, may reach the board twice with the same effect; a
        // relay toggle may not.
        repeatable = functionCode != kWriteCoil ||
                     static_cast<ProtocolType>(activeProtocolType) != ProtocolType::Protocol55;
    }

    roundTripNs = -1;
    const bool isRead = functionCode != kWriteCoil;
    bool sent = false;
    OperationResult result = Exchange(request, requestLength, isRead, sent);
    if (result.kind == ErrorKind::ConnectionClosed && !Cancelled()) {
        // A gateway that closed an idle connection, or a board restarted on its port: the
        // Device reconnects at once, and asks again when that cannot act twice.
        Log("连接已断开，正在重新连接...");
        if (Reopen() && (!sent || repeatable))
            result = Exchange(request, requestLength, isRead, sent);
        else if (Cancelled())
            return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");
    }
    if (config.settleAfterFailure &&
        (result.kind == ErrorKind::Timeout || result.kind == ErrorKind::Mismatch ||
         result.kind == ErrorKind::Checksum || result.kind == ErrorKind::Malformed)) {
        // A late answer may still be on its way: it must not meet the next request.
        DrainUntilQuiet();
    }
    return result;
}

OperationResult Device::Exchange(const uint8_t* request, int32_t requestLength, bool isRead,
                                 bool& sent) {
    sent = false;
    if (!comm || !comm->IsOpen() || PrepareLine() == kReceiveClosed)
        return Failure(kCodeClosed, ErrorKind::ConnectionClosed, "连接已断开");
    // The copy window may have been called off: then nothing goes out.
    if (Cancelled())
        return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");

    // Send phase: up to retryCount attempts with a pause after each failed one. On a TCP
    // stream a failed send means the connection is gone; retrying it would fail alike.
    const int32_t attempts = config.retryCount;
    const bool stream = static_cast<CommType>(activeCommType) == CommType::Tcp;
    int32_t written = -1;
    bool delivered = false;
    int64_t sentAt = 0;
    for (int32_t failed = 0; failed < attempts;) {
        written = -1;
        if (comm && comm->IsOpen()) {
            Log(HexLine("发送: ", request, requestLength), true);
            sentAt = NowNs();
            lastSentNs = sentAt;
            written = comm->Send(request, requestLength);
            sent = sent || written > 0;
        }
        if (written == requestLength) {
            delivered = true;
            break;
        }
        ++failed;
        if (Cancelled())
            return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");
        Log(Format("发送失败，重试 %d/%d", failed, attempts), true);
        if (stream && written < 0)
            return Failure(kCodeClosed, ErrorKind::ConnectionClosed, "连接已断开");
        if (hooks.sleepMs) {
            hooks.sleepMs(kSendRetryPauseMs);
        } else if (CancelSignal* signal = CancelSignal::Current()) {
            signal->WaitMs(kSendRetryPauseMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSendRetryPauseMs));
        }
    }
    if (!delivered)
        return Failure(kCodeSendFailed, ErrorKind::SendFailed,
                       Format("发送失败，已发送: %d 字节", written));

    // Receive phase: the first attempt that delivers bytes (past an echo of the request)
    // begins the answer.
    uint8_t answer[kFrameBufferSize];
    int32_t received = 0;
    int32_t failed = 0;
    bool echoLooked = false;
    do {
        const int64_t attemptEnd = NowNs() + int64_t{config.receiveTimeout} * kNsPerMs;
        received = ReceiveFrame(answer, kFrameBufferSize, config.receiveTimeout);
        if (Cancelled())
            return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");
        if (received > 0 && !echoLooked) {
            echoLooked = true;
            received = SkipEcho(request, requestLength, isRead, answer, received, attemptEnd);
            if (Cancelled())
                return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");
        }
        if (received > 0 || received == kReceiveClosed)
            break;
        ++failed;
        if (received == 0)
            Log(Format("接收超时，重试 %d/%d", failed, attempts));
    } while (failed < attempts);
    if (received == kReceiveClosed)
        return Failure(kCodeClosed, ErrorKind::ConnectionClosed, "连接已断开");
    if (received < 0)
        return Failure(kCodeReceiveFailed, ErrorKind::ReceiveFailed, "接收失败");
    if (received == 0)
        return Failure(kCodeTimeout, ErrorKind::Timeout, "接收超时");
    received = CollectAnswer(answer, received);
    if (Cancelled())
        return Failure(kCodeCancelled, ErrorKind::Cancelled, "操作已取消");
    roundTripNs = NowNs() - sentAt;
    lastAnswerNs = NowNs();

    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!protocol)
        return Failure(kCodeNoProtocol, ErrorKind::NoProtocol, "协议未初始化");
    std::string text;
    const AnswerVerdict verdict = protocol->ParseResponse(answer, received, text);
    if (!verdict.Accepted()) {
        OperationResult refused = Failure(kCodeRefused, verdict.kind, std::move(text));
        refused.exceptionCode = verdict.exceptionCode;
        return refused;
    }
    SyncStates();
    OperationResult result;
    result.success = true;
    result.code = 0;
    result.detail = std::move(text);
    return result;
}

// An adapter whose receiver stays on hands back every request before the board's answer.
// A read's request can never be its own answer, so bytes that repeat it teach that the
// line echoes; from then on one copy of every request is dropped. Returns what is left,
// receiving on within the attempt's window when the echo was all there was.
int32_t Device::SkipEcho(const uint8_t* request, int32_t requestLength, bool isRead,
                         uint8_t* buffer, int32_t count, int64_t attemptEnd) {
    if (!lineEchoes && !isRead)
        return count;
    const auto msLeft = [&] {
        const int64_t left = (attemptEnd - NowNs() + kNsPerMs - 1) / kNsPerMs;
        return static_cast<int32_t>(left > 0 ? left : 0);
    };
    // Enough bytes to tell, unless they already differ from the request.
    while (count < requestLength && std::memcmp(buffer, request, static_cast<size_t>(count)) == 0 &&
           msLeft() > 0) {
        const int32_t more = ReceiveFrame(buffer + count, kFrameBufferSize - count, msLeft());
        if (more <= 0)
            return more == kReceiveClosed ? more : count;
        count += more;
    }
    if (count < requestLength ||
        std::memcmp(buffer, request, static_cast<size_t>(requestLength)) != 0)
        return count;
    if (!lineEchoes) {
        lineEchoes = true;
        Log("检测到回显，已忽略请求回显");
    }
    DropFront(buffer, count, requestLength);
    if (count > 0 || msLeft() == 0)
        return count;
    return ReceiveFrame(buffer, kFrameBufferSize, msLeft());
}

// Before a request: drops what waits (bytes behind the last answer, stray input) and, on
// a datagram line without transaction ids, a second copy of the last answer that a
// gateway may still send. kReceiveClosed when the connection turns out to be closed.
int32_t Device::PrepareLine() {
    uint8_t dropped[kDiscardBufferSize];
    int32_t count = staleCount;
    std::memcpy(dropped, staleBytes, static_cast<size_t>(staleCount));
    staleCount = 0;
    bool closed = false;
    while (count < kDiscardBufferSize) {
        const int32_t n = comm->DiscardPending(dropped + count, kDiscardBufferSize - count);
        closed = n == kReceiveClosed;
        if (n <= 0)
            break;
        count += n > kDiscardBufferSize - count ? kDiscardBufferSize - count : n;
    }
    // A copy comes within a few ms of its original; waiting out that window before the
    // next request costs at most kCopyWindowMs, and only when requests follow answers
    // that closely.
    const bool copiesPossible =
        static_cast<CommType>(activeCommType) == CommType::Udp &&
        static_cast<ProtocolType>(activeProtocolType) != ProtocolType::ModbusTcp &&
        lastAnswerNs != 0;
    if (!closed && copiesPossible) {
        const int64_t left = (lastAnswerNs + kCopyWindowMs * kNsPerMs - NowNs()) / kNsPerMs;
        if (left > 0) {
            const int32_t n = comm->Receive(dropped + count, kDiscardBufferSize - count,
                                            static_cast<int32_t>(left));
            if (n > 0)
                count += n;
        }
    }
    lastAnswerNs = 0;
    if (count > 0)
        Log(HexLine("丢弃过期数据: ", dropped, count));
    return closed ? kReceiveClosed : 0;
}

// After a failed attempt: reads and drops whatever comes until the line has been quiet
// for the response time-out, so that a late answer goes instead of answering the next
// request. Bounded by the attempts' whole window even on a line that never falls quiet.
void Device::DrainUntilQuiet() {
    if (!comm || !comm->IsOpen())
        return;
    uint8_t dropped[kDiscardBufferSize];
    int32_t count = staleCount;
    std::memcpy(dropped, staleBytes, static_cast<size_t>(staleCount));
    staleCount = 0;
    const int32_t quietMs = config.receiveTimeout > 0 ? config.receiveTimeout : 0;
    const int64_t end =
        NowNs() + int64_t{quietMs} * (config.retryCount > 1 ? config.retryCount : 1) * kNsPerMs;
    for (int32_t round = 0; round < kDiscardBufferSize && count < kDiscardBufferSize; ++round) {
        const int32_t n = comm->Receive(dropped + count, kDiscardBufferSize - count, quietMs);
        if (n <= 0 || Cancelled())
            break; // quiet for the time-out, nothing more to read, or called off
        count += n;
        if (NowNs() >= end)
            break;
    }
    if (count > 0)
        Log(HexLine("丢弃过期数据: ", dropped, count));
}

bool Device::Reopen() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    staleCount = 0;
    lastAnswerNs = 0;
    if (comm && comm->Open()) {
        Log("连接成功");
        return true;
    }
    // A reopen called off tells nothing about the board: the state stays as it was.
    if (Cancelled())
        return false;
    Log("连接失败");
    SetState(DeviceState::Offline);
    return false;
}

bool Device::BuildRequest(uint8_t slaveAddress, uint8_t functionCode, uint8_t start,
                          uint8_t countOrValue, const uint8_t* data, int32_t dataLength,
                          uint8_t* out, int32_t& outLength) {
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

int32_t Device::ReceiveFrame(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
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

// The answer may come in pieces, behind a late answer to an earlier request or behind
// stray bytes, and may have stray bytes behind it. Collects, within one window, until the
// buffer holds one whole answer to this request, moves it to the front and returns its
// length; what stood before it is logged and dropped, what follows it is kept as stale.
// When nothing more comes: a late answer is returned (to be refused with its own
// reason), and bytes that hold no answer are returned whole, to be parsed as they are.
int32_t Device::CollectAnswer(uint8_t* buffer, int32_t count) {
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

void Device::DropFront(uint8_t* buffer, int32_t& count, int32_t dropped) {
    if (dropped <= 0)
        return;
    Log(HexLine("丢弃过期数据: ", buffer, dropped));
    count -= dropped;
    std::memmove(buffer, buffer + dropped, static_cast<size_t>(count));
}

// For the transport: true once the bytes begin with a whole answer, or hold one to this
// request behind stray bytes or a late answer.
bool Device::IsWholeAnswer(const uint8_t* data, int32_t length) {
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
    // Offline devices are still asked, so that their next answer can bring them back; a
    // connection lost under them (or left closed by a reopen called off) is reopened first.
    return comm && (state == DeviceState::Connected || state == DeviceState::Offline);
}

void Device::SetState(DeviceState newState) {
    if (newState == state)
        return;
    const DeviceState oldState = state;
    state = newState;
    if (callback)
        callback->OnStateChanged(oldState, newState);
}

void Device::Log(const std::string& text, bool isSend) {
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
