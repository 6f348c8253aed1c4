#include "dialog/SessionLog.h"

#include <cstdio>

#include "dialog/UserFolders.h"

namespace {

constexpr auto kWriteInterval = std::chrono::milliseconds(1000);

std::tm LocalDay(std::chrono::system_clock::time_point time) {
    return UserFolders::LocalTime(std::chrono::system_clock::to_time_t(time));
}

bool SameDay(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

} // namespace

SessionLog::SessionLog(std::string folder, ProblemReport report, Clock clock)
    : m_folder(std::move(folder)), m_report(std::move(report)), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return std::chrono::system_clock::now(); };
}

SessionLog::~SessionLog() {
    Close();
}

void SessionLog::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running || m_stopping)
        return;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void SessionLog::Append(const std::string& text, bool isSend) {
    const auto now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_running || m_stopping)
        return;
    ++m_appended;
    if (m_queue.size() >= kMaxQueued) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(Entry{now, isSend, text});
}

bool SessionLog::Flush(int32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_running)
        return false;
    // A whole round must pass as well: one in progress may have taken its batch before
    // the last Append, and the first round is preceded by the clean-up.
    const uint64_t target = m_appended;
    const uint64_t round = m_rounds;
    m_flushRequested = true;
    m_wake.notify_one();
    return m_written.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_done >= target && m_rounds > round; });
}

void SessionLog::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_running)
            return;
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
}

std::string SessionLog::FormatLine(const std::tm& local, int32_t milliseconds,
                                   const std::string& text, bool isSend) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds));
    std::string line(stamp);
    line += isSend ? "[发送] " : "[接收] ";
    line.reserve(line.size() + text.size() + 1);
    for (char c : text)
        line += (c == '\r' || c == '\n') ? ' ' : c;
    line += '\n';
    return line;
}

std::string SessionLog::FormatLineAt(std::chrono::system_clock::time_point time,
                                     const std::string& text, bool isSend) {
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    const int32_t ms = static_cast<int32_t>(((sinceEpoch.count() % 1000) + 1000) % 1000);
    return FormatLine(UserFolders::LocalTime(std::chrono::system_clock::to_time_t(time)), ms, text,
                      isSend);
}

void SessionLog::Run() {
    const std::tm today = LocalDay(m_clock());
    if (m_folder.RemoveExpired(today, kKeepDays) < 0)
        Report("无法清理旧日志");
    std::tm cleanedDay = today;

    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, kWriteInterval, [this] { return m_stopping || m_flushRequested; });
        std::vector<Entry> batch;
        batch.swap(m_queue);
        const size_t dropped = m_dropped;
        m_dropped = 0;
        const uint64_t target = m_appended;
        m_flushRequested = false;
        const bool stopping = m_stopping;

        lock.unlock();
        Write(batch, dropped);
        if (!batch.empty()) {
            // A session that runs past midnight also cleans up on the new day.
            const std::tm day = LocalDay(batch.back().time);
            if (!SameDay(day, cleanedDay)) {
                m_folder.RemoveExpired(day, kKeepDays);
                cleanedDay = day;
            }
        }
        lock.lock();

        m_done = target;
        ++m_rounds;
        m_written.notify_all();
        if (stopping)
            return;
    }
}

void SessionLog::Write(const std::vector<Entry>& batch, size_t dropped) {
    std::string text;
    std::tm day{};
    bool failed = false;
    for (size_t i = 0; i < batch.size(); ++i) {
        const Entry& entry = batch[i];
        const std::time_t seconds = std::chrono::system_clock::to_time_t(entry.time);
        const auto sinceEpoch =
            std::chrono::duration_cast<std::chrono::milliseconds>(entry.time.time_since_epoch());
        const int32_t ms = static_cast<int32_t>(((sinceEpoch.count() % 1000) + 1000) % 1000);
        const std::tm local = UserFolders::LocalTime(seconds);
        if (!text.empty() && !SameDay(local, day)) {
            failed |= !m_folder.Append(day, text);
            text.clear();
        }
        day = local;
        text += FormatLine(local, ms, entry.text, entry.isSend);
    }
    if (dropped > 0) {
        char note[96];
        std::snprintf(note, sizeof note, "(写入过慢，此处丢弃 %zu 行)\n", dropped);
        if (batch.empty())
            day = LocalDay(m_clock());
        text += note;
    }
    if (!text.empty())
        failed |= !m_folder.Append(day, text);
    if (failed)
        Report("写入失败");
}

void SessionLog::Report(const std::string& reason) {
    if (m_reported || !m_report)
        return;
    m_reported = true;
    m_report("⚠ 会话日志" + reason + " (" + m_folder.Folder() +
             ")，日志只显示在窗口中，工具照常工作");
}
