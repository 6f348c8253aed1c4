#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// Runs the board simulator (vornak-sim) as a child process for tests: starts it with
// pipes on its standard streams, learns where it listens from its LISTEN lines, sends it
// commands and waits for their replies, and stops it on destruction. Every wait is
// bounded. A background thread keeps draining the child's output, so a chatty simulator
// never blocks on a full pipe.
class SimProcess {
public:
    explicit SimProcess(std::string binaryPath);
    // Stops the simulator (SIGTERM, then SIGKILL when it does not end in time) and reaps it.
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator with `arguments` and waits for its READY line. False when it
    // could not be started, ended first, or was not ready within timeoutMs; ExitStatus()
    // and ErrorOutput() then tell why.
    bool Start(const std::vector<std::string> &arguments, int timeoutMs = 10000);

    // Where it listens, from the LISTEN lines: 0 or empty when that listener is off.
    uint16_t TcpPort() const { return tcpPort; }
    uint16_t UdpPort() const { return udpPort; }
    const std::string &PtyPath() const { return ptyPath; }
    const std::string &LinkPath() const { return linkPath; }
    // The seed of its random faults, from the SEED line.
    uint32_t Seed() const { return seed; }
    pid_t Pid() const { return pid; }

    // Sends one command line and waits for its reply (a line starting with OK, ERR,
    // STATE or STATS). True for every reply but ERR or none; the line in *reply. The
    // simulator handles the traffic that reached it before the command first, so after
    // the reply its output shows every such request.
    bool Command(const std::string &command, std::string *reply = nullptr, int timeoutMs = 5000);
    // Ends the simulator's standard input, as a program run in the background sees it.
    void CloseInput();
    // The 64 states from the state command; bit k of each word is point k.
    bool ReadStates(uint32_t &coils, uint32_t &inputs, int timeoutMs = 5000);

    // Number of output lines seen so far: a mark for WaitForOutput.
    size_t OutputMark();
    // Waits until an output line at or after `mark` contains `text`; the line in *line.
    bool WaitForOutput(const std::string &text, size_t mark, int timeoutMs,
                       std::string *line = nullptr);
    std::vector<std::string> OutputLines();
    std::string ErrorOutput();

    // Sends SIGTERM and waits for the end: the exit status, or -1 when the process
    // died by a signal or had to be killed after timeoutMs.
    int Stop(int timeoutMs = 5000);
    // Waits for the process to end by itself: the exit status, or -1 (signal, time-out,
    // not running).
    int WaitForExit(int timeoutMs);
    // The exit status once the process has ended, -1 before.
    int ExitStatus() const { return exitStatus; }

private:
    void ReadOutput(int outFd, int errFd);
    bool Reap(int timeoutMs);
    void JoinReader();

    std::string binaryPath;
    pid_t pid = -1;
    int stdinFd = -1;
    int exitStatus = -1;
    bool signalled = false;
    std::thread reader;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> outLines;
    std::string errText;
    bool outputClosed = false;

    uint16_t tcpPort = 0;
    uint16_t udpPort = 0;
    std::string ptyPath;
    std::string linkPath;
    uint32_t seed = 0;
};
