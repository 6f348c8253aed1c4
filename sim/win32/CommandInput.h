#pragma once

#include <winsock2.h>

#include <memory>
#include <string>
#include <vector>

// Standard input's command lines for the simulator's WSAPoll loop, which cannot watch a
// console or a pipe: a thread of its own reads them and wakes the loop with a datagram on a
// loopback socket that the loop watches.
class CommandInput {
public:
    CommandInput();
    ~CommandInput();
    CommandInput(const CommandInput&) = delete;
    CommandInput& operator=(const CommandInput&) = delete;

    // Opens the wake socket and starts the reader; false when the socket cannot be made.
    bool Start();
    // The socket the loop watches: readable when lines (or the end of input) have come.
    SOCKET WakeSocket() const { return m_wake; }
    // Takes the lines that have come, without their line ends, and empties the wake socket;
    // ended turns true once input has ended (a last line without its line end still counts).
    std::vector<std::string> Take(bool& ended);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared; // also the reader's, which may outlive this object
    SOCKET m_wake = INVALID_SOCKET;
};
