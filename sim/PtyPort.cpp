#include "PtyPort.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PtyPort::~PtyPort() {
    RemoveLink();
}

bool PtyPort::Open(const std::string &link, std::string &error) {
    UniqueFd fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid() || ::grantpt(fd.Get()) != 0 || ::unlockpt(fd.Get()) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[PATH_MAX] = {};
    if (::ptsname_r(fd.Get(), name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    UniqueFd slaveFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios settings{};
    if (!slaveFd.Valid() || ::tcgetattr(slaveFd.Get(), &settings) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(slaveFd.Get(), TCSANOW, &settings) != 0) {
        error = std::string("cannot set raw mode on ") + name + ": " + std::strerror(errno);
        return false;
    }
    int flags = ::fcntl(fd.Get(), F_GETFL);
    ::fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK);

    if (!link.empty()) {
        struct stat existing {};
        if (::lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
            error = "will not replace " + link + ": it exists and is not a symlink";
            return false;
        }
        // Made beside the link and renamed over it, so the link is replaced in one step.
        std::string temporary = link + ".tmp" + std::to_string(::getpid());
        ::unlink(temporary.c_str());
        if (::symlink(name, temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), link.c_str()) != 0) {
            error = "cannot create the symlink " + link + ": " + std::strerror(errno);
            ::unlink(temporary.c_str());
            return false;
        }
        linkPath = link;
    }
    master = std::move(fd);
    slave = std::move(slaveFd);
    slavePath = name;
    return true;
}

ssize_t PtyPort::Read(uint8_t *buffer, size_t size) {
    ssize_t n = ::read(master.Get(), buffer, size);
    if (n >= 0)
        return n;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

bool PtyPort::Write(const std::vector<uint8_t> &bytes) {
    ssize_t n;
    do {
        n = ::write(master.Get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(bytes.size());
}

bool PtyPort::PortSettings(termios &out) const {
    // Both ends of the pair share the slave's settings, which the tool sets on its end.
    return ::tcgetattr(slave.Get(), &out) == 0;
}

void PtyPort::RemoveLink() {
    if (linkPath.empty())
        return;
    char target[PATH_MAX] = {};
    ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    // Another simulator may have taken the link over since; leave its link alone.
    if (n > 0 && slavePath == std::string(target, static_cast<size_t>(n))) {
        ::unlink(linkPath.c_str());
    }
    linkPath.clear();
}
