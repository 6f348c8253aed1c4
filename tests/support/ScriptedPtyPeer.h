#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyPair.h"

// A device at the far end of a pseudo-terminal: a background thread collects each request
// (the bytes up to a pause of 10 ms) from the master and writes back what the responder
// returns (nothing for an empty answer). The code under test opens SlavePath() as its
// serial port. The destructor stops and joins the thread.
class ScriptedPtyPeer {
public:
    using Bytes = std::vector<uint8_t>;
    using Responder = std::function<Bytes(const Bytes& request)>;

    explicit ScriptedPtyPeer(Responder responder);
    ~ScriptedPtyPeer();
    ScriptedPtyPeer(const ScriptedPtyPeer&) = delete;
    ScriptedPtyPeer& operator=(const ScriptedPtyPeer&) = delete;

    bool Ok() const { return ok; }
    const std::string& SlavePath() const { return pty.SlavePath(); }

private:
    void Serve();

    PtyPair pty;
    Responder responder;
    int stopPipe[2] = {-1, -1};
    bool ok = false;
    std::thread worker;
};
