#include "support/SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

void CloseFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool StartsWith(const std::string &text, const char *prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool IsReply(const std::string &line) {
    return line == "OK" || StartsWith(line, "OK ") || StartsWith(line, "ERR ") ||
           StartsWith(line, "STATE ") || StartsWith(line, "STATS ");
}

uint16_t PortOf(const std::string &endpoint) {
    size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos)
        return 0;
    return static_cast<uint16_t>(std::strtoul(endpoint.c_str() + colon + 1, nullptr, 10));
}

// "0101..." (point 0 first) into a word with bit k = point k.
bool ParseBits(const std::string &text, uint32_t &out) {
    if (text.size() != 32)
        return false;
    out = 0;
    for (size_t i = 0; i < 32; ++i) {
        if (text[i] != '0' && text[i] != '1')
            return false;
        if (text[i] == '1')
            out |= 1u << i;
    }
    return true;
}

} // namespace

SimProcess::SimProcess(std::string binaryPath) : binaryPath(std::move(binaryPath)) {}

SimProcess::~SimProcess() {
    if (pid > 0)
        Stop(5000);
    JoinReader();
    CloseFd(stdinFd);
}

bool SimProcess::Start(const std::vector<std::string> &arguments, int timeoutMs) {
    if (pid > 0)
        return false;
    // Standard input is a socket so that writing to a simulator that has died gives an
    // error (MSG_NOSIGNAL) instead of SIGPIPE in the test.
    int input[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    auto closeAll = [&](bool childEnds, bool parentEnds) {
        for (int *pair : {input, out, err}) {
            if (parentEnds)
                CloseFd(pair[0]);
            if (childEnds)
                CloseFd(pair[1]);
        }
    };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0 ||
        ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        closeAll(true, true);
        return false;
    }

    // Everything the child needs is prepared before fork(): after it, only
    // async-signal-safe calls.
    std::vector<std::string> words{binaryPath};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    static const char kExecFailed[] = "SimProcess: cannot execute the simulator\n";

    pid = ::fork();
    if (pid == 0) {
        ::dup2(input[1], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ssize_t ignored = ::write(STDERR_FILENO, kExecFailed, sizeof kExecFailed - 1);
        (void)ignored;
        ::_exit(127);
    }
    closeAll(true, false);
    if (pid < 0) {
        closeAll(false, true);
        return false;
    }
    stdinFd = input[0];
    {
        std::lock_guard<std::mutex> guard(mutex);
        outLines.clear();
        errText.clear();
        outputClosed = false;
    }
    reader = std::thread(&SimProcess::ReadOutput, this, out[0], err[0]);

    std::string line;
    if (!WaitForOutput("READY", 0, timeoutMs, &line) || line != "READY") {
        // Not ready: either it ended (a refused option, a busy port) or it hangs.
        if (WaitForExit(1000) < 0 && pid > 0)
            Stop(1000);
        return false;
    }
    for (const std::string &text : OutputLines()) {
        std::istringstream words(text);
        std::string tag, kind, where, link;
        words >> tag >> kind >> where >> link;
        if (tag == "LISTEN" && kind == "tcp")
            tcpPort = PortOf(where);
        if (tag == "LISTEN" && kind == "udp")
            udpPort = PortOf(where);
        if (tag == "LISTEN" && kind == "pty") {
            ptyPath = where;
            linkPath = link;
        }
        if (tag == "SEED")
            seed = static_cast<uint32_t>(std::strtoul(kind.c_str(), nullptr, 10));
        if (tag == "READY")
            break;
    }
    return true;
}

void SimProcess::ReadOutput(int outFd, int errFd) {
    std::string partial[2];
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        // Bounded only by the child: its death closes both pipes, and the destructor
        // makes sure it dies.
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            std::lock_guard<std::mutex> guard(mutex);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                if (i == 0 && !partial[0].empty())
                    outLines.push_back(partial[0]);
                continue;
            }
            if (i == 1) {
                errText.append(buffer, static_cast<size_t>(n));
                continue;
            }
            partial[0].append(buffer, static_cast<size_t>(n));
            size_t newline;
            while ((newline = partial[0].find('\n')) != std::string::npos) {
                outLines.push_back(partial[0].substr(0, newline));
                partial[0].erase(0, newline + 1);
            }
        }
        changed.notify_all();
    }
    for (pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    std::lock_guard<std::mutex> guard(mutex);
    outputClosed = true;
    changed.notify_all();
}

bool SimProcess::Command(const std::string &command, std::string *reply, int timeoutMs) {
    if (stdinFd < 0)
        return false;
    const size_t mark = OutputMark();
    const std::string line = command + "\n";
    if (::send(stdinFd, line.data(), line.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(line.size())) {
        return false;
    }
    std::unique_lock<std::mutex> lock(mutex);
    size_t next = mark;
    const auto deadline = After(timeoutMs);
    for (;;) {
        for (; next < outLines.size(); ++next) {
            if (!IsReply(outLines[next]))
                continue;
            if (reply)
                *reply = outLines[next];
            return !StartsWith(outLines[next], "ERR");
        }
        if (outputClosed)
            return false;
        if (changed.wait_until(lock, deadline) == std::cv_status::timeout &&
            next >= outLines.size()) {
            return false;
        }
    }
}

void SimProcess::CloseInput() {
    CloseFd(stdinFd);
}

bool SimProcess::ReadStates(uint32_t &coils, uint32_t &inputs, int timeoutMs) {
    std::string reply;
    if (!Command("state", &reply, timeoutMs))
        return false;
    std::istringstream words(reply);
    std::string tag, coilText, inputText;
    words >> tag >> coilText >> inputText;
    return StartsWith(coilText, "coils=") && StartsWith(inputText, "inputs=") &&
           ParseBits(coilText.substr(6), coils) && ParseBits(inputText.substr(7), inputs);
}

size_t SimProcess::OutputMark() {
    std::lock_guard<std::mutex> guard(mutex);
    return outLines.size();
}

bool SimProcess::WaitForOutput(const std::string &text, size_t mark, int timeoutMs,
                               std::string *line) {
    std::unique_lock<std::mutex> lock(mutex);
    size_t next = mark;
    const auto deadline = After(timeoutMs);
    for (;;) {
        for (; next < outLines.size(); ++next) {
            if (outLines[next].find(text) == std::string::npos)
                continue;
            if (line)
                *line = outLines[next];
            return true;
        }
        if (outputClosed)
            return false;
        if (changed.wait_until(lock, deadline) == std::cv_status::timeout &&
            next >= outLines.size()) {
            return false;
        }
    }
}

std::vector<std::string> SimProcess::OutputLines() {
    std::lock_guard<std::mutex> guard(mutex);
    return outLines;
}

std::string SimProcess::ErrorOutput() {
    std::lock_guard<std::mutex> guard(mutex);
    return errText;
}

bool SimProcess::Reap(int timeoutMs) {
    if (pid <= 0)
        return true;
    const auto deadline = After(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            signalled = done == pid && WIFSIGNALED(status);
            exitStatus = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid = -1;
            CloseFd(stdinFd);
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
        // A short deadline loop: a child's end offers no descriptor to wait on here.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int SimProcess::WaitForExit(int timeoutMs) {
    if (pid <= 0)
        return signalled ? -1 : exitStatus;
    if (!Reap(timeoutMs))
        return -1;
    JoinReader();
    return signalled ? -1 : exitStatus;
}

int SimProcess::Stop(int timeoutMs) {
    if (pid <= 0)
        return signalled ? -1 : exitStatus;
    ::kill(pid, SIGTERM);
    if (!Reap(timeoutMs)) {
        ::kill(pid, SIGKILL);
        Reap(5000);
        JoinReader();
        return -1;
    }
    JoinReader();
    return signalled ? -1 : exitStatus;
}

void SimProcess::JoinReader() {
    if (reader.joinable())
        reader.join();
}
