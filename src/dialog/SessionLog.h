#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dialog/SessionLogFolder.h"

// The session log: every line either pane shows, with its wall-clock time to the
// millisecond and its pane, appended to the daily file of a SessionLogFolder. Append
// only queues (the window thread never waits for the disk); a writer thread of its own
// writes the queue at least once a second and on Close, and removes daily files older
// than kKeepDays. Nothing here stops the tool: a failed write drops those lines and is
// reported once.
class SessionLog {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Receives the one problem report (a line for the send pane). It is called on the
    // writer thread, so it must only hand the text over to the window's thread.
    using ProblemReport = std::function<void(const std::string&)>;

    static constexpr int32_t kKeepDays = 14;
    // Lines queued beyond this while the disk is slow are counted and dropped.
    static constexpr size_t kMaxQueued = 100000;

    // clock gives the time stamp of each line (the system clock unless a test sets one).
    SessionLog(std::string folder, ProblemReport report, Clock clock = {});
    // Close().
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Starts the writer thread, which first removes the expired daily files. Once only.
    void Start();
    // Queues one line of the send pane (isSend) or the receive pane, stamped now.
    // Returns at once; after Close the line is dropped.
    void Append(const std::string& text, bool isSend);
    // Waits until every line queued so far has been handed to the file, at most
    // timeoutMs; false when the time ran out or the log is not running.
    bool Flush(int32_t timeoutMs);
    // Writes what is queued, stops the writer thread and joins it. Idempotent.
    void Close();

    // The line as it is written: "YYYY-MM-DD HH:MM:SS.mmm [发送] text" ("[接收]" for the
    // receive pane), local time, line breaks inside the text turned into spaces.
    static std::string FormatLine(const std::tm& local, int32_t milliseconds,
                                  const std::string& text, bool isSend);
    // The same for a line stamped at time.
    static std::string FormatLineAt(std::chrono::system_clock::time_point time,
                                    const std::string& text, bool isSend);

private:
    struct Entry {
        std::chrono::system_clock::time_point time;
        bool isSend;
        std::string text;
    };

    void Run();
    // Writes one batch, grouped by day; reports the first failure.
    void Write(const std::vector<Entry>& batch, size_t dropped);
    void Report(const std::string& reason);

    SessionLogFolder m_folder;
    ProblemReport m_report;
    Clock m_clock;
    bool m_reported = false; // writer thread only

    std::mutex m_mutex;
    std::condition_variable m_wake;    // to the writer: stop or flush now
    std::condition_variable m_written; // from the writer: a batch is done
    std::vector<Entry> m_queue;
    size_t m_dropped = 0;
    uint64_t m_appended = 0; // lines queued so far
    uint64_t m_done = 0;     // lines written or dropped so far
    uint64_t m_rounds = 0;   // writer rounds completed
    bool m_flushRequested = false;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};
