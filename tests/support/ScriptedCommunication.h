#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "comm/ICommunication.h"

// What ScriptedCommunication objects answer and what they were asked. The test keeps
// it, so it outlives the transports that a Device creates and destroys.
struct CommScript {
    // One Receive result: a positive count with its bytes, 0 (time-out) or -1 (error).
    struct Reply {
        int32_t result = 0;
        std::vector<uint8_t> bytes;
    };
    static Reply Data(std::vector<uint8_t> bytes);
    static Reply Silence() { return Reply{0, {}}; }
    static Reply Failure() { return Reply{-1, {}}; }

    // Results handed out in order; when a list runs dry the default applies.
    bool configureResult = true;
    std::deque<bool> openResults;    // default: true
    std::deque<int32_t> sendResults; // default: the whole frame
    std::deque<Reply> replies;       // default: Silence()

    // What the transports saw.
    int32_t created = 0;
    int32_t destroyed = 0;
    int32_t initialized = 0;
    int32_t configured = 0;
    int32_t opened = 0;
    int32_t closed = 0;
    SerialConfig serial;
    TcpConfig tcp;
    UdpConfig udp;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<int32_t> receiveSizes;
    std::vector<int32_t> receiveWaits;
};

// An ICommunication whose results come from a CommScript and which records every call
// there. Open, Send and Receive honour the open flag as a real transport does.
class ScriptedCommunication : public ICommunication {
public:
    ScriptedCommunication(CommType kind, std::shared_ptr<CommScript> script);
    ~ScriptedCommunication() override;

    bool Initialize() override;
    // Copies the record of this object's kind into the script; false for null or when
    // the script says so.
    bool Configure(const void *config) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() override { return open; }
    // -1 when closed; otherwise records the frame and returns the scripted count.
    int32_t Send(const uint8_t *data, int32_t length) override;
    // -1 when closed; otherwise copies the next reply (at most size bytes) and returns
    // its scripted result, which may on purpose exceed size.
    int32_t Receive(uint8_t *buffer, int32_t size, int32_t timeoutMs) override;

private:
    CommType kind;
    std::shared_ptr<CommScript> script;
    bool open = false;
};
