#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "comm/CancelSignal.h"
#include "comm/ICommunication.h"

// What ScriptedCommunication objects answer and what they were asked. The test owns it,
// so it outlives the transports that a Device creates and destroys.
struct CommScript {
    // One Receive: a positive count with its bytes, 0 (time-out) or -1 (error).
    struct Reply {
        int32_t result = 0;
        std::vector<uint8_t> bytes;
    };
    static Reply Data(std::vector<uint8_t> bytes) {
        const auto count = static_cast<int32_t>(bytes.size());
        return {count, std::move(bytes)};
    }

    // Handed out in order; a list run dry means success (the whole frame sent) or silence.
    bool configureResult = true;
    std::deque<bool> openResults;
    std::deque<int32_t> sendResults;
    std::deque<Reply> replies;
    std::deque<std::vector<uint8_t>> pending; // what each DiscardPending finds waiting

    int32_t created = 0, destroyed = 0, closed = 0;
    SerialConfig serial;
    TcpConfig tcp;
    UdpConfig udp;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::pair<int32_t, int32_t>> receives; // buffer size and wait of each Receive
    AnswerCheck answerCheck;
    // Runs inside each Open and Receive, as if its wait took that long; a wait whose thread's
    // cancel signal is raised then ends as a real one does (Open false, Receive 0).
    std::function<void()> whileWaiting;
};

// An ICommunication whose results come from a CommScript and which records its calls there.
// Send and Receive fail with -1 while it is closed, as a real transport does; Receive copies
// at most size bytes of the next reply but returns its result, even one above size.
class ScriptedCommunication : public ICommunication {
public:
    ScriptedCommunication(CommType kind, std::shared_ptr<CommScript> script)
        : kind(kind), script(std::move(script)) {
        ++this->script->created;
    }
    ~ScriptedCommunication() override { ++script->destroyed; }
    bool Initialize() override { return true; }
    bool Configure(const void* config) override {
        if (config == nullptr)
            return false;
        if (kind == CommType::Serial)
            script->serial = *static_cast<const SerialConfig*>(config);
        else if (kind == CommType::Tcp)
            script->tcp = *static_cast<const TcpConfig*>(config);
        else
            script->udp = *static_cast<const UdpConfig*>(config);
        return script->configureResult;
    }
    bool Open() override {
        if (Cancelled())
            return open = false;
        return open = Next(script->openResults, true);
    }
    void Close() override { open = false, ++script->closed; }
    bool IsOpen() override { return open; }
    int32_t Send(const uint8_t* data, int32_t length) override {
        if (!open)
            return -1;
        script->sent.emplace_back(data, data + length);
        return Next(script->sendResults, length);
    }
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) override {
        if (!open)
            return -1;
        script->receives.emplace_back(size, timeoutMs);
        if (Cancelled())
            return 0;
        const CommScript::Reply reply = Next(script->replies, CommScript::Reply{});
        std::copy_n(reply.bytes.begin(), std::min(reply.bytes.size(), size_t(size)), buffer);
        return reply.result;
    }

    void SetAnswerCheck(AnswerCheck check) override { script->answerCheck = std::move(check); }
    int32_t DiscardPending(uint8_t* buffer, int32_t size) override {
        if (!open)
            return -1;
        const std::vector<uint8_t> bytes = Next(script->pending, {});
        const auto count = std::min(bytes.size(), size_t(size));
        std::copy_n(bytes.begin(), count, buffer);
        return int32_t(count);
    }

private:
    bool Cancelled() {
        if (script->whileWaiting)
            script->whileWaiting();
        return CancelSignal::CurrentRaised();
    }
    template <class T> static T Next(std::deque<T>& results, T otherwise) {
        if (results.empty())
            return otherwise;
        T next = std::move(results.front());
        results.pop_front();
        return next;
    }

    CommType kind;
    std::shared_ptr<CommScript> script;
    bool open = false;
};
