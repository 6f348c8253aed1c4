#include "support/ScriptedCommunication.h"

#include <algorithm>
#include <cstring>
#include <utility>

CommScript::Reply CommScript::Data(std::vector<uint8_t> bytes) {
    Reply reply;
    reply.result = static_cast<int32_t>(bytes.size());
    reply.bytes = std::move(bytes);
    return reply;
}

ScriptedCommunication::ScriptedCommunication(CommType kind, std::shared_ptr<CommScript> script)
    : kind(kind), script(std::move(script)) {
    ++this->script->created;
}

ScriptedCommunication::~ScriptedCommunication() {
    ++script->destroyed;
}

bool ScriptedCommunication::Initialize() {
    ++script->initialized;
    return true;
}

bool ScriptedCommunication::Configure(const void *config) {
    if (config == nullptr)
        return false;
    ++script->configured;
    switch (kind) {
    case CommType::Serial:
        script->serial = *static_cast<const SerialConfig *>(config);
        break;
    case CommType::Tcp:
        script->tcp = *static_cast<const TcpConfig *>(config);
        break;
    case CommType::Udp:
        script->udp = *static_cast<const UdpConfig *>(config);
        break;
    default:
        return false;
    }
    return script->configureResult;
}

bool ScriptedCommunication::Open() {
    ++script->opened;
    open = true;
    if (!script->openResults.empty()) {
        open = script->openResults.front();
        script->openResults.pop_front();
    }
    return open;
}

void ScriptedCommunication::Close() {
    ++script->closed;
    open = false;
}

int32_t ScriptedCommunication::Send(const uint8_t *data, int32_t length) {
    if (!open)
        return -1;
    script->sent.emplace_back(data, data + length);
    if (script->sendResults.empty())
        return length;
    const int32_t result = script->sendResults.front();
    script->sendResults.pop_front();
    return result;
}

int32_t ScriptedCommunication::Receive(uint8_t *buffer, int32_t size, int32_t timeoutMs) {
    if (!open)
        return -1;
    script->receiveSizes.push_back(size);
    script->receiveWaits.push_back(timeoutMs);
    if (script->replies.empty())
        return 0;
    const CommScript::Reply reply = std::move(script->replies.front());
    script->replies.pop_front();
    const size_t copied = std::min(reply.bytes.size(), static_cast<size_t>(std::max(size, 0)));
    if (copied > 0)
        std::memcpy(buffer, reply.bytes.data(), copied);
    return reply.result;
}
