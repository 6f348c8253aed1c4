#include "dialog/WorkerThread.h"

WorkerThread::WorkerThread() : m_thread([this] { Run(); }) {}

WorkerThread::~WorkerThread() {
    Stop();
}

void WorkerThread::Submit(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stopping)
            return;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WorkerThread::CancelAll() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        dropped.swap(m_jobs);
        m_signal.Raise();
    }
    // The dropped jobs' captures are released here, outside the lock.
}

void WorkerThread::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        m_jobs.clear();
        m_signal.Raise();
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void WorkerThread::Run() {
    CancelSignal::SetCurrent(&m_signal);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            // Under the lock: a CancelAll after this point is meant for this job.
            m_signal.Reset();
        }
        job();
    }
    CancelSignal::SetCurrent(nullptr);
}
