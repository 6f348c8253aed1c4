#include "ControlServer.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

bool MakeUnixAddress(const std::string &path, sockaddr_un &out) {
    out = sockaddr_un{};
    out.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof out.sun_path)
        return false;
    std::memcpy(out.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

ControlServer::~ControlServer() {
    struct stat info {};
    // Another simulator may have taken the path over since; leave its socket alone.
    if (listener.Valid() && ::lstat(path.c_str(), &info) == 0 && info.st_ino == inode)
        ::unlink(path.c_str());
}

bool ControlServer::Listen(const std::string &where, std::string &error) {
    sockaddr_un address{};
    if (!MakeUnixAddress(where, address)) {
        error = "control socket path empty or too long: " + where;
        return false;
    }
    struct stat existing {};
    if (::lstat(where.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = "will not replace " + where + ": it exists and is not a socket";
            return false;
        }
        UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (probe.Valid() &&
            ::connect(probe.Get(), reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            error = "the control socket " + where + " is in use by another simulator";
            return false;
        }
        ::unlink(where.c_str()); // left behind by one that ended without removing it
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    struct stat bound {};
    if (!fd.Valid() ||
        ::bind(fd.Get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 8) != 0 || ::lstat(where.c_str(), &bound) != 0) {
        error = "cannot listen on the control socket " + where + ": " + std::strerror(errno);
        return false;
    }
    listener = std::move(fd);
    path = where;
    inode = bound.st_ino;
    return true;
}

void ControlServer::Accept() {
    for (;;) {
        UniqueFd fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.Valid())
            return;
        if (connections.size() < kMaxConnections)
            connections[nextId++].fd = std::move(fd);
    }
}

std::vector<std::pair<int, int>> ControlServer::Connections() const {
    std::vector<std::pair<int, int>> out;
    for (const auto &[id, connection] : connections)
        out.emplace_back(id, connection.fd.Get());
    return out;
}

bool ControlServer::Read(int id, std::vector<std::string> &lines) {
    auto it = connections.find(id);
    if (it == connections.end())
        return false;
    Connection &connection = it->second;
    char buffer[1024];
    const ssize_t n = ::recv(connection.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    if (n > 0)
        connection.pending.append(buffer, static_cast<size_t>(n));
    else if (!connection.pending.empty())
        connection.pending += '\n'; // a last line without its newline still counts
    for (size_t end; (end = connection.pending.find('\n')) != std::string::npos;) {
        std::string line = connection.pending.substr(0, end);
        connection.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    // A line that long is no command: whoever sends it gets no more hearing.
    return n > 0 && connection.pending.size() <= kMaxLine;
}

void ControlServer::Reply(int id, const std::string &text) {
    auto it = connections.find(id);
    if (it == connections.end())
        return;
    const std::string line = text + "\n";
    // Replies are short; a peer whose buffer is full stopped reading long ago.
    if (::send(it->second.fd.Get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
        static_cast<ssize_t>(line.size()))
        connections.erase(it);
}

void ControlServer::Close(int id) {
    connections.erase(id);
}
