#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "dialog/ScratchFolder.h"
#include "dialog/SessionLog.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::system_clock;

namespace {

// Local midnight of a calendar day plus an offset (the log writes local time; none of the
// days used has a clock change near the times used).
system_clock::time_point Local(int year, int month, int day, milliseconds offset = {}) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&tm)) + offset;
}

// Problem reports as the window's thread would get them.
struct Reports {
    std::mutex mutex;
    std::vector<std::string> lines;
    SessionLog::ProblemReport Sink() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines.size();
    }
};

class SessionLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }
    ScratchFolder folder;
};

TEST_F(SessionLogTest, StampsEachLineWithItsPaneIntoTheFileOfItsDay) {
    std::atomic<system_clock::time_point> now{Local(2026, 12, 7, milliseconds(86399987))};
    Reports reports;
    SessionLog log(folder.path.u8string(), reports.Sink(), [&] { return now.load(); });
    log.Start();
    log.Append("发送: 01 01 00 00 00 20 3D D2", true);
    log.Append("接收: 01 01 04\r\n00 00 00 00", false);
    now = Local(2026, 12, 8, milliseconds(4));
    log.Append("✅ 设备已自动恢复连接", true);
    ASSERT_TRUE(log.Flush(10000));

    EXPECT_EQ(ReadAll(folder.path / "vornak-2026-12-07.log"),
              "2026-12-07 23:59:59.987 [发送] 发送: 01 01 00 00 00 20 3D D2\n"
              "2026-12-07 23:59:59.987 [接收] 接收: 01 01 04  00 00 00 00\n");
    EXPECT_EQ(ReadAll(folder.path / "vornak-2026-12-08.log"),
              "2026-12-08 00:00:00.004 [发送] ✅ 设备已自动恢复连接\n");

    // A later run appends to the same day's file; Close writes what is still queued.
    log.Close();
    SessionLog again(folder.path.u8string(), reports.Sink(), [&] { return now.load(); });
    again.Start();
    again.Append("已断开连接", false);
    again.Close();
    EXPECT_EQ(ReadAll(folder.path / "vornak-2026-12-08.log"),
              "2026-12-08 00:00:00.004 [发送] ✅ 设备已自动恢复连接\n"
              "2026-12-08 00:00:00.004 [接收] 已断开连接\n");
    EXPECT_EQ(reports.Count(), 0u);
}

TEST_F(SessionLogTest, WritesWithinAboutASecondWithoutBeingAsked) {
    SessionLog log(folder.path.u8string(), nullptr, [] { return Local(2026, 3, 1); });
    log.Start();
    log.Append("定时查询已启动，间隔: 1000 ms", true);
    const fs::path file = folder.path / "vornak-2026-03-01.log";
    // Generous for a loaded machine; the writer's own period is one second.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // The file may exist a moment before the line is in it: wait for the line itself.
    while (ReadAll(file).find("定时查询已启动") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_NE(ReadAll(file).find("定时查询已启动"), std::string::npos);
}

TEST_F(SessionLogTest, KeepsFourteenDaysAcrossMonthAndYearEnds) {
    const char* kept[] = {"vornak-2026-01-05.log", "vornak-2025-12-23.log", "notes.txt",
                          "vornak-2025-13-01.log", "vornak-2025-1-01.log"};
    const char* expired[] = {"vornak-2025-12-22.log", "vornak-2024-12-31.log",
                             "vornak-1999-01-01.log"};
    for (const char* name : kept)
        std::ofstream(folder.path / name) << "x";
    for (const char* name : expired)
        std::ofstream(folder.path / name) << "x";

    SessionLog log(folder.path.u8string(), nullptr,
                   [] { return Local(2026, 1, 5, milliseconds(5)); });
    log.Start();
    ASSERT_TRUE(log.Flush(10000));
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>(std::begin(kept), std::end(kept)));
}

TEST_F(SessionLogTest, AnUnwritableFolderOrFullDiskIsReportedOnceAndLoggingGoesOn) {
    // A folder that cannot be made (a file is in the way), and a day's file that is the
    // always-full device: both must be reported once, however many lines fail.
    std::ofstream(folder.path / "blocker") << "x";
    fs::create_directory(folder.path / "full");
    std::error_code noFull;
    fs::create_symlink("/dev/full", folder.path / "full" / "vornak-2026-05-05.log", noFull);
    const fs::path cases[] = {folder.path / "blocker" / "logs", folder.path / "full"};
    for (const fs::path& target : cases) {
        if (target.filename() == "full" && (noFull || !fs::exists("/dev/full")))
            continue;
        Reports reports;
        SessionLog log(target.u8string(), reports.Sink(), [] { return Local(2026, 5, 5); });
        log.Start();
        for (int round = 0; round < 3; ++round) {
            log.Append("写线圈 5: OFF -> ON", true);
            EXPECT_TRUE(log.Flush(10000)) << target;
        }
        log.Close();
        ASSERT_EQ(reports.Count(), 1u) << target;
        EXPECT_NE(reports.lines[0].find(target.u8string()), std::string::npos);
    }
}

} // namespace
