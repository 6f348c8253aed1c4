#pragma once

#include <deque>
#include <functional>

#include "comm/CancelSignal.h"
#include "dialog/IJobQueue.h"

// The window's worker without a thread: a job runs on the test's thread, at once, or, while
// `held`, when the test says (RunNext), so a test can act while a job is "in flight". The
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

    // Runs the oldest queued job; false when none is queued.
    bool RunNext() {
        if (jobs.empty())
            return false;
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        signal.Reset();
        running = true;
        job();
        running = false;
        return true;
    }
    void RunAll() {
        while (RunNext()) {
        }
    }

    CancelSignal signal;
    std::deque<std::function<void()>> jobs;
    bool held = false;
    bool running = false;
    bool stopped = false;
};
