#pragma once

#include <functional>

class CancelSignal;

// Where the window's Device work runs: one job at a time, in the order submitted, away from
// the window's thread (WorkerThread), or on the caller's thread in tests. The queue owns the
// cancel signal its jobs' waits watch (comm/CancelSignal.h) and lowers it before each job.
class IJobQueue {
public:
    virtual ~IJobQueue() = default;

    // Queues job behind the ones submitted before it and returns at once (any thread).
    virtual void Submit(std::function<void()> job) = 0;
    // Drops the jobs not started yet and raises the signal, so the running job's waits end
    // at once. Jobs submitted afterwards run normally.
    virtual void CancelAll() = 0;
    // Cancels as CancelAll and waits until the running job has ended; nothing runs afterwards.
    virtual void Stop() = 0;
};
