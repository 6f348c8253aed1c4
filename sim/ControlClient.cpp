#include "ControlClient.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>

#include "Console.h"
#include "UniqueFd.h"

int ControlClient::Send(const std::string &path, const std::vector<std::string> &commands,
                        int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        Console::Error("control socket path empty or too long: " + path);
        return 1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid() ||
        ::connect(fd.Get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        Console::Error("cannot reach a simulator at " + path + ": " + std::strerror(errno) +
                       " (start it with --control " + path + ")");
        return 1;
    }
    std::string text;
    for (const std::string &command : commands)
        text += command + "\n";
    if (::send(fd.Get(), text.data(), text.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(text.size())) {
        Console::Error("cannot send to " + path + ": " + std::strerror(errno));
        return 1;
    }
    // Ending the writing side tells the simulator to close once every line is answered.
    ::shutdown(fd.Get(), SHUT_WR);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string replies;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd watch{fd.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            std::fputs(replies.c_str(), stdout);
            Console::Error("no complete reply from " + path + " within " +
                           std::to_string(timeoutMs) + " ms");
            return 1;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        replies.append(buffer, static_cast<size_t>(n));
    }
    std::fputs(replies.c_str(), stdout);
    // Every command but a blank or '#' line gets one reply whose last line starts with OK,
    // ERR, STATE or STATS; only ERR means refused.
    size_t expected = 0;
    for (const std::string &command : commands) {
        const size_t first = command.find_first_not_of(" \t");
        expected += first != std::string::npos && command[first] != '#';
    }
    size_t answered = 0;
    bool refused = false;
    std::istringstream lines(replies);
    for (std::string line; std::getline(lines, line);) {
        const std::string word = line.substr(0, line.find(' '));
        answered += word == "OK" || word == "ERR" || word == "STATE" || word == "STATS";
        refused = refused || word == "ERR";
    }
    if (answered < expected) {
        Console::Error(path + " closed before answering every command (too many connections?)");
        return 1;
    }
    return refused ? 1 : 0;
}
