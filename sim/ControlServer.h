#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include "UniqueFd.h"

// The simulator's command socket: a Unix stream socket at a path where programs (and
// `vornak-sim --send`) connect, write command lines and read one reply per line. A
// connection may carry many commands; one that ends its writing is closed once its lines
// are answered.
class ControlServer {
public:
    ControlServer() = default;
    // Removes the socket file if it is still this server's.
    ~ControlServer();
    ControlServer(const ControlServer &) = delete;
    ControlServer &operator=(const ControlServer &) = delete;

    // Listens at `path`, replacing a socket that nobody serves any more (never a live one
    // nor another kind of file). False with the reason in `error`.
    bool Listen(const std::string &path, std::string &error);
    int Fd() const { return listener.Get(); }
    const std::string &Path() const { return path; }
    // Takes the waiting connections (at most kMaxConnections are kept).
    void Accept();
    // The open connections' ids and descriptors, to watch for input.
    std::vector<std::pair<int, int>> Connections() const;
    // Reads what connection `id` sent: its complete lines in `lines`. False once it has
    // ended (its last unterminated line is then returned too), failed or sent a line longer
    // than kMaxLine; the caller then answers the lines and closes it.
    bool Read(int id, std::vector<std::string> &lines);
    // Sends `text` and a newline to `id`; a peer that cannot take it is closed.
    void Reply(int id, const std::string &text);
    void Close(int id);

    static constexpr size_t kMaxConnections = 8;
    static constexpr size_t kMaxLine = 4096;

private:
    struct Connection {
        UniqueFd fd;
        std::string pending;
    };

    UniqueFd listener;
    std::string path;
    ino_t inode = 0;
    std::map<int, Connection> connections;
    int nextId = 1;
};
