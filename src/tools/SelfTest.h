#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/IProtocol.h"

class Device;

// What was found wrong with one coil or input.
enum class PointFault : int32_t {
    None,               // passed
    NotTested,          // the test ended before this point was tested
    BadAnswer,          // the board's answer was refused (text in PointVerdict::answer)
    DidNotSwitchOn,     // coil: still OFF after switching it ON
    DidNotSwitchOff,    // coil: still ON after switching it OFF
    OtherCoilMoved,     // coil: switching it moved coil `other` too
    DidNotFollow,       // input: did not follow its coil (loopback)
    MovedWithOtherCoil, // input: moved when coil `other` was switched (loopback)
};

struct PointVerdict {
    PointFault fault = PointFault::NotTested;
    int32_t other = -1; // the other coil of OtherCoilMoved and MovedWithOtherCoil
    std::string answer; // the protocol's text of a BadAnswer

    bool Ok() const { return fault == PointFault::None; }
};

// The reason in English: "" when passed, "did not switch on", "coil 7 moved too", ...
std::string DescribeVerdict(const PointVerdict& verdict);

enum class SelfTestEnd : int32_t {
    Running,
    Finished,       // every step was carried out
    Cancelled,      // stopped by Cancel(); the coils were restored
    BoardSilent,    // the board stopped answering; restoring was tried
    ConnectionLost, // the transport closed; nothing more was sent
    Refused,        // the board's answer to reading the starting states was refused
};

// The result as plain data, for a window or a command line to show.
struct SelfTestReport {
    std::vector<PointVerdict> coils;  // 32 entries, coil 0 first
    std::vector<PointVerdict> inputs; // 32 with the loopback check, otherwise empty
    SelfTestEnd end = SelfTestEnd::Running;
    // The coils were read back as they were before the test, or none was switched.
    bool restored = false;
    bool endRead = false;     // the coils were read at the end: coilsAfter holds them
    uint32_t coilsBefore = 0; // bit k: coil k ON, as read before the test
    uint32_t coilsAfter = 0;  // as read at the end
    int32_t stepsTested = 0;  // steps of the test proper carried out (restoring not counted)
    int32_t stepsPlanned = 0; // of this many
    std::string refusal;      // the protocol's text when end is Refused
    double seconds = 0;

    // Finished with every coil and input passed and the coils restored.
    bool Passed() const;
    int32_t FailedCount() const; // points that failed (not counting NotTested)
    // The coils read at the end in another state than before the test, lowest first; empty
    // when restored or not read back.
    std::vector<int32_t> CoilsNotRestored() const;
};

// Tests a board's 32 coils through a connected Device: each coil is switched ON, read back,
// switched OFF and read back (the 0x55 protocol toggles it and reads the status instead);
// with the loopback check (coil k wired to input k) the inputs are read after each switch
// too. The coils' states are read first and restored at the end. Each Step() is one
// transaction, so a window can run it a step at a time or on a worker thread.
class SelfTest {
public:
    // The device must be connected and stay in this object's hands until the test ends.
    SelfTest(Device& device, bool loopback);

    // Runs the next transaction; false once the test has ended (Report() is then final).
    bool Step();
    // Runs every step; stops early when *stop becomes true. progress(done, total) follows
    // each step.
    SelfTestReport Run(const std::atomic<bool>* stop = nullptr,
                       const std::function<void(int32_t, int32_t)>& progress = {});
    // Ends the test at the next step, after restoring the coils. Any thread.
    void Cancel() { cancelRequested = true; }

    const SelfTestReport& Report() const { return report; }
    int32_t StepsDone() const { return stepsDone; }
    // The expected number of steps; grows by the restoring writes when they are known.
    int32_t StepsTotal() const { return stepsDone + static_cast<int32_t>(plan.size()); }

private:
    enum class Action {
        ReadStartCoils,
        ReadStartInputs,
        Switch,
        CheckCoils,
        CheckInputs,
        Restore,
        ReadEndCoils
    };
    struct Task {
        Action action;
        int32_t coil;
        bool first; // the first of the coil's two switches
    };

    void Execute(const Task& task);
    // False when the transaction failed. A refused answer is charged to `coil` (-1: to
    // none); a silent board or a lost link ends the test and blames no point.
    bool Succeeded(const OperationResult& result, int32_t coil);
    void CheckCoils(const Task& task);
    void CheckInputs(const Task& task);
    void StartRestoring();
    void Finish(SelfTestEnd end);
    void Fail(PointVerdict& verdict, PointFault fault, int32_t other = -1);

    Device& device;
    const bool loopback;
    bool toggles = false; // the 0x55 protocol: a write toggles the relay
    std::deque<Task> plan;
    std::atomic<bool> cancelRequested{false};
    bool restoring = false;
    bool started = false;
    bool wrote = false;      // a coil was switched, so there may be something to restore
    int32_t unsureCoil = -1; // a coil whose exchange was called off: its state is unknown
    int32_t stepsDone = 0;
    std::chrono::steady_clock::time_point startTime;
    SelfTestReport report;

    uint8_t original[32] = {};      // coils before the test
    uint8_t coils[32] = {};         // coils as last read
    uint8_t target[32] = {};        // state the current switch of each coil aims at
    uint8_t inputs[32] = {};        // inputs as last read
    uint8_t coilsAtInputs[32] = {}; // coils when the inputs were last read
    SelfTestEnd pendingEnd = SelfTestEnd::Finished;
};
