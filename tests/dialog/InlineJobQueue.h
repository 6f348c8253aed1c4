#pragma once

#include <deque>
#include <functional>

#include "comm/CancelSignal.h"
#include "dialog/IJobQueue.h"

// The window's worker without a thread: a job runs on the test's thread, at once, or, while
// `held`, when the test says (RunAll), so a test can act while a job is "in flight". The
// signal is the test thread's, as the worker's is its own thread's.
class InlineJobQueue : public IJobQueue {
public:
    InlineJobQueue() { CancelSignal::SetCurrent(&signal); }
    ~InlineJobQueue() override { CancelSignal::SetCurrent(nullptr); }

    void Submit(std::function<void()> job) override {
        if (stopped)
            return;
        jobs.push_back(std::move(job));
        if (!held && !running)
            RunAll();
    }
    void CancelAll() override {
        jobs.clear();
        signal.Raise();
    }
    void Stop() override {
        stopped = true;
        CancelAll();
    }

    // Runs the queued jobs, the oldest first, until none is left.
    void RunAll() {
        while (!jobs.empty()) {
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            signal.Reset();
            running = true;
            job();
            running = false;
        }
    }

    CancelSignal signal;
    std::deque<std::function<void()>> jobs;
    bool held = false;
    bool running = false;
    bool stopped = false;
};
