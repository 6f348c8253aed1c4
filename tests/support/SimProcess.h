#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

// A program run to its end: its exit status (-1: a signal ended it), output, error output.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
// Called with the pid and the run so far after each read; it may act on the running program
// and returns true to close our end of its output, as a reader such as `head -1` does.
using RunTrigger = std::function<bool(pid_t, const ProgramRun&)>;
// Runs argv (argv[0] a path) to its end with `input` on its standard input; killed after 60 s.
ProgramRun RunProgram(std::vector<std::string> argv, const std::string& input = "",
                      const RunTrigger& when = {});

// Runs the board simulator (vornak-sim) as a child process that it drives by commands and
// stops on destruction. Every wait is bounded.
class SimProcess {
public:
    explicit SimProcess(std::string binaryPath) : binaryPath(std::move(binaryPath)) {}
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts it and waits for READY. False when it could not start, ended first or was
    // not ready in time; ExitStatus() and ErrorOutput() then tell why.
    bool Start(const std::vector<std::string>& arguments, int timeoutMs = 10000);

    // From the LISTEN lines: 0 or empty when that listener is off.
    uint16_t TcpPort() const { return tcpPort; }
    uint16_t UdpPort() const { return udpPort; }
    const std::string& PtyPath() const { return ptyPath; }
    const std::string& LinkPath() const { return linkPath; }
    pid_t Pid() const { return pid; }

    // Sends a command and waits for its reply (OK, ERR, STATE, STATS) into *reply; false on
    // ERR or none. The traffic that came before the command is printed first.
    bool Command(const std::string& command, std::string* reply = nullptr, int timeoutMs = 5000);
    // Ends its standard input, as for a program run in the background.
    void CloseInput() { ::close(std::exchange(fds[0], -1)); }
    // The states from the state command; bit k of each word is point k.
    bool ReadStates(uint32_t& coils, uint32_t& inputs, int timeoutMs = 5000);
    // The coils alone, as above; empty when the command failed.
    std::optional<uint32_t> Coils() {
        uint32_t coils = 0, inputs = 0;
        return ReadStates(coils, inputs) ? std::optional<uint32_t>(coils) : std::nullopt;
    }

    // Number of output lines so far: a mark for WaitForOutput.
    size_t OutputMark() {
        Drain(0);
        return outLines.size();
    }
    // Waits until a line at or after `mark` contains `text`.
    bool WaitForOutput(const std::string& text, size_t mark, int timeoutMs) {
        return WaitForLine(text, false, mark, timeoutMs, nullptr);
    }
    std::string ErrorOutput();

    // SIGTERM, then SIGKILL after timeoutMs: the exit status, or -1 (signal, killed).
    int Stop(int timeoutMs = 5000);
    // The exit status once it has ended, -1 before or when a signal ended it.
    int ExitStatus() const { return exitStatus; }

private:
    // Reads the output that has come, waiting up to timeoutMs for some.
    void Drain(int timeoutMs);
    bool WaitForLine(const std::string& text, bool reply, size_t mark, int timeoutMs,
                     std::string* line);

    std::string binaryPath;
    pid_t pid = -1;
    int fds[3] = {-1, -1, -1}; // our ends of its standard input, output and error
    int exitStatus = -1;
    std::vector<std::string> outLines;
    std::string partialLine, errText, ptyPath, linkPath;
    uint16_t tcpPort = 0, udpPort = 0;
};

// Starts `sim` quiet on a TCP and a UDP port the system chooses and on a pty, with `options`
// and then `more`; false as Start.
inline bool StartOnEveryLink(SimProcess& sim, std::vector<std::string> options,
                             const std::vector<std::string>& more = {}) {
    options.insert(options.begin(), {"--tcp", "0", "--udp", "0", "--pty", "--quiet"});
    options.insert(options.end(), more.begin(), more.end());
    return sim.Start(options);
}
