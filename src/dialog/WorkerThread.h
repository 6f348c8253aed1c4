#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "comm/CancelSignal.h"
#include "dialog/IJobQueue.h"

// An IJobQueue on a thread of its own: the window's I/O thread. Its cancel signal is the
// thread's current one, so every wait of a job ends when CancelAll or Stop raises it.
class WorkerThread : public IJobQueue {
public:
    WorkerThread();
    // Stops: drops what is queued, cancels the running job and joins the thread.
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void Submit(std::function<void()> job) override;
    void CancelAll() override;
    void Stop() override;

private:
    void Run();

    CancelSignal m_signal;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread; // last: it starts once everything above exists
};
