#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "comm/ICommunication.h"
#include "device/DeviceConfig.h"
#include "device/DeviceState.h"
#include "device/IDeviceCallback.h"
#include "device/ITransactionObserver.h"
#include "protocol/IProtocol.h"

// The connection to one relay and digital-input board: the settings in force, one
// transport, one protocol, the connection state, the request/response engine, the
// cache of 32 coil and 32 input states and the silence check. Every operation runs on the
// caller's thread and reports through the registered IDeviceCallback; one thread at a time
// may call it (the window gives it to one worker thread). The calling thread's CancelSignal
// (comm/CancelSignal.h) ends any wait at once: the operation then fails with
// ErrorKind::Cancelled (code -7, "操作已取消"), a connect with "连接已取消".
class Device {
public:
    // Seams for tests. The window never sets them; an empty member means the real thing.
    struct Hooks {
        std::function<std::unique_ptr<ICommunication>(CommType)> makeCommunication;
        std::function<int64_t()> nowNs;           // monotonic time in nanoseconds
        std::function<void(int32_t ms)> sleepMs;  // the pause between send attempts
    };

    Device();
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Registers the receiver of events (not owned); null silences every event.
    void SetCallback(IDeviceCallback* callback);
    // Registers the watcher of every exchange and successful connect (not owned), such as
    // link statistics; null for none.
    void SetTransactionObserver(ITransactionObserver* observer);
    // Copies the settings; recreates the transport or protocol when its kind changed.
    // Raises no event and never changes the state.
    void SetConfig(const DeviceConfig& config);
    DeviceConfig GetConfig() const;
    // Installs a new protocol object of the given kind; false (and no protocol)
    // for a value outside 0..2.
    bool SetProtocol(ProtocolType type);

    // Configures and opens the transport; true when connected. Logs and raises the
    // state changes; failures leave the state Error.
    bool Connect();
    // Closes the transport and goes Disconnected; always logs.
    void Disconnect();
    // True only when Connected with an open transport.
    bool IsConnected();
    DeviceState GetState() const;
    // The CommType last asked for, even when no object could be made.
    int32_t GetActiveCommType() const;

    // Reads count coils/inputs from start; code -1 when not connected (nor Offline). A
    // connection the peer closed is reopened and the read asked again, once.
    OperationResult ReadCoils(uint8_t start, uint8_t count);
    OperationResult ReadInputs(uint8_t start, uint8_t count);
    // Switches one coil, showing the requested state at once and rolling back on
    // failure; code -1 when not connected, -2 for an index of 32 or more. After a closed
    // connection is reopened, a Modbus write is asked again; a relay toggle that may have
    // arrived is not (it fails with ConnectionClosed, and the next read tells).
    OperationResult WriteCoil(uint8_t index, uint8_t value);
    // Zeroes both caches and the protocol's tables and reports all 64 points.
    void ClearStates();
    // Cached states; any index outside 0..31 yields 0.
    uint8_t GetCachedCoil(int32_t index);
    uint8_t GetCachedInput(int32_t index);

    // Declares the device Offline after more than heartbeatTimeout ms of silence; when
    // nothing was sent either for that long, one read of the coils asks first, and only
    // its failure declares. Offline with its connection lost, reopens it and asks again.
    // A device in Error (its connect failed) stays in Error.
    void CheckHeartbeat();

    void SetHooks(Hooks hooks);

private:
    static constexpr int32_t kFrameBufferSize = 256;
    // The most stale input one discard reads and logs before a request.
    static constexpr int32_t kDiscardBufferSize = 1024;
    // How long after an answer a datagram line without transaction ids may still bring
    // a gateway's second copy of it.
    static constexpr int64_t kCopyWindowMs = 20;

    bool CreateCommunication(int32_t type);
    OperationResult Transact(uint8_t slaveAddress, uint8_t functionCode, uint8_t start,
                             uint8_t countOrValue, const uint8_t* data, int32_t dataLength);
    bool BuildRequest(uint8_t slaveAddress, uint8_t functionCode, uint8_t start,
                      uint8_t countOrValue, const uint8_t* data, int32_t dataLength,
                      uint8_t* out, int32_t& outLength);
    OperationResult Exchange(const uint8_t* request, int32_t requestLength, bool isRead,
                             bool& sent);
    int32_t ReceiveFrame(uint8_t* buffer, int32_t size, int32_t timeoutMs);
    int32_t SkipEcho(const uint8_t* request, int32_t requestLength, bool isRead, uint8_t* buffer,
                     int32_t count, int64_t attemptEnd);
    int32_t PrepareLine();
    void DrainUntilQuiet();
    bool Reopen();
    void DeclareOffline();
    int32_t CollectAnswer(uint8_t* buffer, int32_t count);
    void DropFront(uint8_t* buffer, int32_t& count, int32_t dropped);
    bool IsWholeAnswer(const uint8_t* data, int32_t length);
    void SyncStates();
    bool MayExchange();
    void SetState(DeviceState newState);
    void Log(const std::string& text, bool isSend = false);
    int64_t NowNs() const;

    DeviceConfig config;
    std::unique_ptr<ICommunication> comm;
    std::unique_ptr<IProtocol> protocol;
    DeviceState state = DeviceState::Disconnected;
    int32_t activeCommType = 0;
    int32_t activeProtocolType = 0;
    std::recursive_mutex lock;
    IDeviceCallback* callback = nullptr;
    ITransactionObserver* observer = nullptr;
    int64_t roundTripNs = -1; // of the last Transact, send to complete answer; -1 without
    int64_t lastActivity = 0;
    uint8_t coilCache[32] = {};
    uint8_t inputCache[32] = {};
    // Bytes that came after the last parsed answer; logged and dropped before the next
    // request together with whatever else is waiting then.
    uint8_t staleBytes[kFrameBufferSize] = {};
    int32_t staleCount = 0;
    int64_t lastSentNs = 0;   // when the last request went out
    int64_t lastAnswerNs = 0; // when the last answer was taken; 0 once the line was readied
    bool lineEchoes = false;  // learnt from a read's echo; forgotten at the next connect
    Hooks hooks;
};
