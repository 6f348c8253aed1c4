// The serial transport on a Windows COM port: overlapped reads and writes, each waiting
// on its own event, so that every wait has a limit. The driver's time-outs end a read
// at the first pause of more than 50 ms after a byte.
#include "comm/SerialCommunication.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#include "comm/CancelSignal.h"
#include "comm/Deadline.h"
#include "comm/win32/WideText.h"

namespace {

// An answer ends at the first pause longer than this after a byte.
constexpr DWORD kInterByteGapMs = 50;
// Read and write limits of the port: so much per byte plus a constant.
constexpr DWORD kMsPerByte = 10;
constexpr DWORD kConstantMs = 100;
// The longest a Send waits for the line to take the frame.
constexpr DWORD kWriteWaitMs = 1000;

HANDLE AsHandle(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

bool ApplyLineSettings(HANDLE port, const SerialConfig& config) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // Whatever the port reports is kept in the fields not set here; the write decides.
    GetCommState(port, &dcb);
    dcb.BaudRate = config.baudRate;
    dcb.ByteSize = static_cast<BYTE>(config.dataBits & 0xFF);
    dcb.Parity = static_cast<BYTE>(config.parity & 0xFF);
    dcb.StopBits = static_cast<BYTE>(config.stopBits & 0xFF);
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port, &dcb))
        return false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kInterByteGapMs;
    timeouts.ReadTotalTimeoutMultiplier = kMsPerByte;
    timeouts.ReadTotalTimeoutConstant = kConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kConstantMs;
    return SetCommTimeouts(port, &timeouts) != 0;
}

// Bytes the driver holds that no read has taken yet; 0 when it cannot tell.
DWORD QueuedBytes(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
}

// Waits for event and, when the thread has one, its cancel signal: WAIT_OBJECT_0 only when
// the event came first.
DWORD WaitOrCancel(HANDLE event, DWORD waitMs) {
    const CancelSignal* signal = CancelSignal::Current();
    if (signal == nullptr || signal->Handle() == 0)
        return WaitForSingleObject(event, waitMs);
    if (signal->IsRaised())
        return WAIT_TIMEOUT;
    const HANDLE both[2] = {event, reinterpret_cast<HANDLE>(signal->Handle())};
    return WaitForMultipleObjects(2, both, FALSE, waitMs);
}

// The errors a read ends with when the port has gone away (a USB adapter pulled out, a
// virtual port's other end closed) rather than failed.
bool PortGone(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_ACCESS_DENIED ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_BROKEN_PIPE;
}

// One overlapped read of up to count bytes that waits at most waitMs (or until the
// thread's cancel signal): the count read, 0 when the port's own time-out, the wait or a
// cancel ended it empty, kReceiveClosed when the port has gone away, kReceiveFailed on
// another failure. A read the wait gives up on is cancelled and settled before returning,
// so that the buffer is the caller's again; *waitEnded tells that case (its
// ERROR_OPERATION_ABORTED is our own CancelIo, not a port gone).
int32_t ReadWithin(HANDLE port, HANDLE event, uint8_t* dest, DWORD count, DWORD waitMs,
                   bool* waitEnded) {
    *waitEnded = false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD got = 0;
    if (ReadFile(port, dest, count, &got, &overlapped))
        return static_cast<int32_t>(got);
    if (GetLastError() != ERROR_IO_PENDING)
        return PortGone(GetLastError()) ? kReceiveClosed : kReceiveFailed;
    if (WaitOrCancel(event, waitMs) != WAIT_OBJECT_0) {
        CancelIo(port);
        *waitEnded = true;
    }
    if (GetOverlappedResult(port, &overlapped, &got, TRUE))
        return static_cast<int32_t>(got);
    // Windows ends a read by the port's time-outs successfully; wine reports
    // ERROR_TIMEOUT for the same end. Either way it is the count taken, often 0.
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT || (*waitEnded && error == ERROR_OPERATION_ABORTED))
        return static_cast<int32_t>(got);
    return PortGone(error) ? kReceiveClosed : kReceiveFailed;
}

} // namespace

SerialCommunication::SerialCommunication() {
    // A failed CreateEventW leaves 0 here; every wait on it then fails and returns -1.
    readEvent = reinterpret_cast<intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    writeEvent = reinterpret_cast<intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

SerialCommunication::~SerialCommunication() {
    Close();
    for (intptr_t event : {readEvent, writeEvent}) {
        if (event != 0)
            CloseHandle(AsHandle(event));
    }
}

bool SerialCommunication::Initialize() {
    return true;
}

bool SerialCommunication::Configure(const void* config) {
    if (config == nullptr)
        return false;
    settings = *static_cast<const SerialConfig*>(config);
    return true;
}

bool SerialCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    const std::wstring path = L"\\\\.\\" + WideFromUtf8(settings.portName);
    const HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    if (!ApplyLineSettings(port, settings)) {
        CloseHandle(port);
        return false;
    }
    handle = reinterpret_cast<intptr_t>(port);
    isOpen = true;
    return true;
}

void SerialCommunication::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (handle != kInvalidHandle)
        CloseHandle(AsHandle(handle));
    handle = kInvalidHandle;
    isOpen = false;
}

bool SerialCommunication::IsOpen() {
    return isOpen;
}

int32_t SerialCommunication::Send(const uint8_t* data, int32_t length) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (length < 0 || (data == nullptr && length > 0))
        return -1;
    const HANDLE port = AsHandle(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = AsHandle(writeEvent);
    DWORD written = 0;
    if (WriteFile(port, data, static_cast<DWORD>(length), &written, &overlapped))
        return static_cast<int32_t>(written);
    if (GetLastError() != ERROR_IO_PENDING)
        return PortGone(GetLastError()) ? kReceiveClosed : kReceiveFailed;
    if (WaitOrCancel(overlapped.hEvent, kWriteWaitMs) != WAIT_OBJECT_0) {
        CancelIo(port);
        // Settle the cancelled write before the caller's bytes go out of scope.
        GetOverlappedResult(port, &overlapped, &written, TRUE);
        return -1;
    }
    // The port's write limit may have ended the write short; that count is the result.
    if (!GetOverlappedResult(port, &overlapped, &written, FALSE))
        return -1;
    return static_cast<int32_t>(written);
}

int32_t SerialCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    if (size == 0)
        return 0;
    const HANDLE port = AsHandle(handle);
    const HANDLE event = AsHandle(readEvent);
    const Deadline callerWait(timeoutMs);
    const Deadline portLimit(int64_t{kMsPerByte} * size + kConstantMs);

    // The first byte: the caller's wait bounds it, and so does the port's own limit;
    // whichever ends first, nothing came (a silent board is a time-out on every transport).
    int32_t got = 0;
    while (got == 0) {
        const int32_t callerLeft = callerWait.RemainingMs();
        const int32_t portLeft = portLimit.RemainingMs();
        const bool callerFirst = callerLeft < portLeft;
        if ((callerFirst ? callerLeft : portLeft) == 0)
            return kReceiveNothing;
        bool waitEnded = false;
        got = ReadWithin(port, event, buffer, 1, callerFirst ? callerLeft : portLeft, &waitEnded);
        if (got < 0)
            return got;
        if (got == 0 && waitEnded)
            return kReceiveNothing;
    }
    if (answerCheck && answerCheck(buffer, got))
        return got;

    // The rest of an answer that has begun is read to its end: a pause of more than
    // 50 ms, the buffer full, or the port's limit.
    while (got < size && !portLimit.Expired()) {
        const DWORD queued = QueuedBytes(port);
        const DWORD want = std::clamp<DWORD>(queued, 1, static_cast<DWORD>(size - got));
        const DWORD wait = std::min<DWORD>(kInterByteGapMs, portLimit.RemainingMs());
        bool waitEnded = false;
        const int32_t n = ReadWithin(port, event, buffer + got, want, wait, &waitEnded);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
        // A whole answer returns at once, without waiting out its closing pause.
        if (answerCheck && answerCheck(buffer, got))
            break;
    }
    return got;
}

void SerialCommunication::SetAnswerCheck(AnswerCheck check) {
    answerCheck = std::move(check);
}

int32_t SerialCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    const HANDLE port = AsHandle(handle);
    int32_t got = 0;
    // Only what the driver already holds is read, so the read ends at once.
    for (DWORD queued = QueuedBytes(port); queued > 0 && got < size; queued = QueuedBytes(port)) {
        const DWORD want = std::min<DWORD>(queued, static_cast<DWORD>(size - got));
        bool waitEnded = false;
        const int32_t n =
            ReadWithin(port, AsHandle(readEvent), buffer + got, want, kInterByteGapMs, &waitEnded);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}
