#include "support/SimProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "comm/Deadline.h"

namespace {

// Starts argv[0] with its standard input on a socket, so that writing to a program that has
// ended fails (MSG_NOSIGNAL) instead of raising SIGPIPE. Output is read only while a test
// waits, so a large pipe keeps a chatty program going; the error output is read without
// waiting. Our ends go to fds; -1 when it could not start.
pid_t Spawn(std::vector<std::string> argv, int fds[3]) {
    int pairs[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
    const bool made = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pairs[0]) == 0 &&
                      ::pipe2(pairs[1], O_CLOEXEC) == 0 && ::pipe2(pairs[2], O_CLOEXEC) == 0;
    ::fcntl(pairs[1][0], F_SETPIPE_SZ, 1 << 20);
    ::fcntl(pairs[2][0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream = 0; stream < 3; ++stream)
        posix_spawn_file_actions_adddup2(&actions, pairs[stream][1], stream);
    std::vector<char*> args;
    for (std::string& word : argv)
        args.push_back(word.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    if (!made || ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int stream = 0; stream < 3; ++stream) {
        ::close(pairs[stream][1]); // -1 when not made: then an error, and harmless
        fds[stream] = pairs[stream][0];
    }
    return pid;
}

} // namespace

ProgramRun RunProgram(std::vector<std::string> argv, const std::string& input,
                      const RunTrigger& when) {
    ProgramRun run;
    int fds[3];
    const pid_t pid = Spawn(std::move(argv), fds);
    ::send(fds[0], input.data(), input.size(), MSG_NOSIGNAL); // small: fits the socket
    ::close(fds[0]);
    const Deadline deadline(60000);
    pollfd watch[2] = {{fds[1], POLLIN, 0}, {fds[2], POLLIN, 0}};
    while ((watch[0].fd >= 0 || watch[1].fd >= 0) && !deadline.Expired()) {
        ::poll(watch, 2, deadline.RemainingMs());
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t n =
                watch[i].revents != 0 ? ::read(watch[i].fd, buffer, sizeof buffer) : -1;
            if (n > 0)
                (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
            else if (watch[i].revents != 0)
                ::close(std::exchange(watch[i].fd, -1));
        }
        if (when && watch[0].fd >= 0 && when(pid, run))
            ::close(std::exchange(watch[0].fd, -1));
    }
    for (const pollfd& left : watch) // open only when the deadline passed: then it is killed
        ::close(left.fd);
    if (pid > 0 && deadline.Expired())
        ::kill(pid, SIGKILL);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

bool SimProcess::Start(const std::vector<std::string>& arguments, int timeoutMs) {
    std::vector<std::string> argv{binaryPath};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid = Spawn(std::move(argv), fds);
    if (pid < 0 || !WaitForOutput("READY", 0, timeoutMs)) {
        Stop(1000); // a refused option or a busy port has ended it already
        return false;
    }
    for (const std::string& text : outLines) {
        std::istringstream in(text);
        std::string tag, kind, where;
        in >> tag >> kind >> where;
        if (tag == "LISTEN" && kind == "pty") {
            ptyPath = where;
            in >> linkPath;
        } else if (tag == "LISTEN" && kind != "control") {
            (kind == "tcp" ? tcpPort : udpPort) =
                static_cast<uint16_t>(std::atoi(where.c_str() + where.rfind(':') + 1));
        }
    }
    return true;
}

void SimProcess::Drain(int timeoutMs) {
    pollfd watch{fds[1], POLLIN, 0};
    for (int wait = timeoutMs; fds[1] >= 0 && ::poll(&watch, 1, wait) > 0; wait = 0) {
        char buffer[4096];
        const ssize_t n = ::read(fds[1], buffer, sizeof buffer);
        partialLine.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        if (n <= 0) // its end (no signal handler here interrupts a read)
            ::close(std::exchange(fds[1], -1));
        for (size_t end; (end = partialLine.find('\n')) != std::string::npos;) {
            outLines.push_back(partialLine.substr(0, end));
            partialLine.erase(0, end + 1);
        }
    }
}

bool SimProcess::WaitForLine(const std::string& text, bool reply, size_t mark, int timeoutMs,
                             std::string* line) {
    const Deadline deadline(timeoutMs);
    for (size_t next = mark;; ++next) {
        while (next >= outLines.size()) {
            if (fds[1] < 0 || deadline.Expired())
                return false;
            Drain(deadline.RemainingMs());
        }
        static const std::regex kReply("(OK|ERR|STATE|STATS)( .*)?");
        const std::string& seen = outLines[next];
        if (reply ? std::regex_match(seen, kReply) : seen.find(text) != std::string::npos) {
            if (line)
                *line = seen;
            return true;
        }
    }
}

bool SimProcess::Command(const std::string& command, std::string* reply, int timeoutMs) {
    const size_t mark = OutputMark();
    const std::string line = command + "\n";
    std::string answer;
    const bool replied = fds[0] >= 0 &&
                         ::send(fds[0], line.data(), line.size(), MSG_NOSIGNAL) ==
                             static_cast<ssize_t>(line.size()) &&
                         WaitForLine("", true, mark, timeoutMs, &answer);
    if (reply)
        *reply = answer;
    return replied && answer.rfind("ERR", 0) != 0;
}

bool SimProcess::ReadStates(uint32_t& coils, uint32_t& inputs, int timeoutMs) {
    static const std::regex kState("STATE coils=([01]{32}) inputs=([01]{32})"); // point 0 first
    std::string reply;
    std::smatch words;
    if (!Command("state", &reply, timeoutMs) || !std::regex_match(reply, words, kState))
        return false;
    coils = inputs = 0;
    for (size_t i = 0; i < 32; ++i) {
        coils |= static_cast<uint32_t>(words.str(1)[i] == '1') << i;
        inputs |= static_cast<uint32_t>(words.str(2)[i] == '1') << i;
    }
    return true;
}

std::string SimProcess::ErrorOutput() {
    char buffer[4096];
    for (ssize_t n; fds[2] >= 0 && (n = ::read(fds[2], buffer, sizeof buffer)) > 0;)
        errText.append(buffer, static_cast<size_t>(n));
    return errText;
}

int SimProcess::Stop(int timeoutMs) {
    // Its output ends with it: that is the descriptor to wait on.
    if (pid > 0)
        ::kill(pid, SIGTERM);
    for (const Deadline deadline(timeoutMs); fds[1] >= 0 && !deadline.Expired();)
        Drain(deadline.RemainingMs());
    if (pid > 0 && fds[1] >= 0)
        ::kill(pid, SIGKILL); // cannot be caught, so the wait below ends
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
        exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid = -1;
    ErrorOutput();
    for (int& fd : fds)
        ::close(std::exchange(fd, -1));
    return exitStatus;
}
