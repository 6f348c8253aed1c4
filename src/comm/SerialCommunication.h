#pragma once

#include <cstdint>
#include <mutex>

#include "comm/ICommunication.h"

// A serial port as a transport. The port is opened exclusively with the line settings
// of its SerialConfig on a raw, binary-transparent line with DTR and RTS raised. An
// answer ends when the answer check says it is whole, or at the first pause of more
// than 50 ms after its first byte, so one Receive normally returns one whole answer.
// The platform code lives in its own file.
class SerialCommunication : public ICommunication {
public:
    // Created closed, with the settings "COM1", 9600, 8 data bits, one stop bit, no parity.
    SerialCommunication();
    // Closes the port if it is open.
    ~SerialCommunication() override;
    SerialCommunication(const SerialCommunication&) = delete;
    SerialCommunication& operator=(const SerialCommunication&) = delete;

    // Does nothing; always true.
    bool Initialize() override;
    // Copies a SerialConfig; false (settings unchanged) for a null pointer.
    bool Configure(const void* config) override;
    // Opens portName (a device path, a name looked up under /dev/, or COMn on Windows)
    // exclusively and applies the line settings. False, with nothing left open, when the
    // port is missing or busy, or a setting cannot be applied (on Linux one and a half
    // stop bits among them).
    bool Open() override;
    // Releases the port (and its exclusive hold); nothing happens when closed.
    void Close() override;
    bool IsOpen() override;
    // One write of the whole frame, waiting at most 10 ms per byte plus 100 ms for the
    // line to take it: the count taken, possibly short or 0. -1 when closed, on a failure,
    // or when the 1000 ms wait ends before that limit (frames above 90 bytes).
    int32_t Send(const uint8_t* data, int32_t length) override;
    // Waits at most timeoutMs for the first byte, then reads the answer to its end: the
    // answer check says it is whole (returned at once), the buffer is full, a pause of
    // more than 50 ms follows a byte, or 10 ms x size + 100 ms have passed since the
    // call. The count read; kReceiveNothing when timeoutMs or that last limit passed with
    // no byte; kReceiveClosed when the port has gone away (hung up, other end closed);
    // kReceiveFailed when closed or on another failure. Takes no lock.
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) override;
    // Called with the bytes read so far after every read of a Receive.
    void SetAnswerCheck(AnswerCheck check) override;
    // Reads what the port holds without waiting: the count dropped, 0, kReceiveClosed
    // when nothing waited and the port has gone away, or kReceiveFailed.
    int32_t DiscardPending(uint8_t* buffer, int32_t size) override;

private:
    // A file descriptor here; wide enough for a Windows handle too.
    static constexpr intptr_t kInvalidHandle = -1;

    intptr_t handle = kInvalidHandle;
    SerialConfig settings;
    bool isOpen = false;
    std::recursive_mutex lock;
    AnswerCheck answerCheck;
    // Windows: the manual-reset events that an overlapped read and write finish on,
    // made once by the constructor and closed by the destructor. Unused elsewhere.
    [[maybe_unused]] intptr_t readEvent = 0;
    [[maybe_unused]] intptr_t writeEvent = 0;
};
