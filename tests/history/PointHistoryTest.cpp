// The history of point changes: its bound and what it drops, and how a Device's events become
// known levels and gaps.
#include <gtest/gtest.h>

#include "dialog/ScratchFolder.h"
#include "history/CsvWriter.h"
#include "history/PointEventRecorder.h"

namespace {

// The changes of coil03 and input03 as "time:name=level" (level 0, 1 or x).
std::string Trace(const PointHistory& history) {
    std::string text;
    for (size_t i = 0; i < history.Size(); ++i) {
        const PointChange& c = history.At(i);
        if (c.point == 3 || c.point == kFirstInputPoint + 3)
            text += (text.empty() ? "" : " ") + std::to_string(c.timeUs) + ":" +
                    PointName(c.point) + "=" + LevelChar(c.level);
    }
    return text;
}

TEST(PointHistory, KeepsTheNewestChangesAndShowsWhatItDropped) {
    struct Case {
        const char* what;
        std::vector<PointChange> records; // level Unknown with point 99: a refused record
        size_t size;
        uint64_t dropped;
        int64_t droppedThrough;
        PointLevel before3, at15;
    };
    using L = PointLevel;
    const Case cases[] = {
        // clang-format off
        {"same level twice is one change", {{10, 3, L::High}, {20, 3, L::High}}, 1, 0, 0,
         L::Unknown, L::High},
        {"a point outside 0..63 is refused", {{10, 64, L::High}}, 0, 0, 0, L::Unknown, L::Unknown},
        {"full: the oldest goes first",
         {{10, 3, L::High}, {12, 4, L::High}, {14, 3, L::Low}, {16, 3, L::High}}, 3, 1, 10,
         L::High, L::Low},
        {"an earlier time is taken as the newest", {{20, 3, L::High}, {5, 3, L::Low}}, 2, 0, 0,
         L::Unknown, L::Unknown},
        {"unknown is a level like the others",
         {{10, 3, L::Low}, {12, 3, L::Unknown}, {14, 3, L::Low}, {16, 3, L::Unknown}}, 3, 1, 10,
         L::Low, L::Low},
        // clang-format on
    };
    for (const Case& c : cases) {
        PointHistory history(3);
        for (const PointChange& r : c.records)
            history.Record(r.timeUs, r.point, r.level);
        EXPECT_EQ(history.Size(), c.size) << c.what;
        EXPECT_EQ(history.Dropped(), c.dropped) << c.what;
        EXPECT_EQ(history.DroppedThroughUs(), c.droppedThrough) << c.what;
        EXPECT_EQ(history.LevelBefore(3), c.before3) << c.what;
        EXPECT_EQ(history.LevelAt(3, 15), c.at15) << c.what;
        for (size_t i = 1; i < history.Size(); ++i)
            EXPECT_LE(history.At(i - 1).timeUs, history.At(i).timeUs) << c.what;
    }
}

TEST(PointEventRecorder, KnownLevelsComeFromAnswersAndFailuresAreGaps) {
    enum Kind { State, Coil, Input, Result };
    struct Event {
        Kind kind;
        int32_t a = 0; // state, index or function code
        int32_t b = 0; // level or success
        int64_t t = 0;
    };
    const Event connect{State, int32_t(DeviceState::Connected), 0, 100};
    const Event coil3on{Coil, 3, 1}, coil3off{Coil, 3, 0}, input3on{Input, 3, 1};
    struct Case {
        const char* what;
        std::vector<Event> events;
        std::string trace;
    };
    const Case cases[] = {
        {"nothing before the first connect", {{Coil, 3, 1}, {Result, 1, 1, 50}}, ""},
        {"a read writes its block at the answer's time",
         {connect, coil3on, {Result, 1, 1, 150}, input3on, {Result, 2, 1, 170}},
         "50:coil03=1 70:input03=1"},
        {"a failed read makes its block unknown",
         {connect, {Result, 2, 1, 110}, {Result, 2, 0, 130}, {Result, 1, 0, 140}},
         "10:input03=0 30:input03=x"},
        {"a write counts once its answer came",
         {connect, {Result, 1, 1, 110}, coil3on, {Result, 5, 1, 160}},
         "10:coil03=0 60:coil03=1"},
        {"a failed write leaves its coil unknown, not rolled back",
         {connect, {Result, 1, 1, 110}, coil3on, coil3off, {Result, 5, 0, 160}},
         "10:coil03=0 60:coil03=x"},
        // clang-format off
        {"a disconnect is a gap; the cleared caches are not news",
         {connect, coil3on, {Result, 1, 1, 110}, {State, int32_t(DeviceState::Disconnected), 0, 200},
          coil3off, {State, int32_t(DeviceState::Connected), 0, 300}, {Result, 1, 1, 320}},
         "10:coil03=1 100:coil03=x 220:coil03=0"},
        {"a silent board is a gap until the next answer",
         {connect, {Result, 1, 1, 110}, {State, int32_t(DeviceState::Offline), 0, 150},
          {State, int32_t(DeviceState::Connected), 0, 190}, coil3on, {Result, 1, 1, 200}},
         "10:coil03=0 50:coil03=x 100:coil03=1"},
        // clang-format on
    };
    for (const Case& c : cases) {
        PointHistory history;
        PointEventRecorder recorder(history, [] { return int64_t{1700000000000000}; });
        for (const Event& e : c.events) {
            if (e.kind == State)
                recorder.OnState(static_cast<DeviceState>(e.a), e.t);
            else if (e.kind == Result)
                recorder.OnResult(static_cast<uint8_t>(e.a), e.b != 0, e.t);
            else
                recorder.OnPoint(e.kind == Coil, e.a, static_cast<uint8_t>(e.b));
        }
        EXPECT_EQ(Trace(history), c.trace) << c.what;
    }
}

TEST(ChangeWriters, CsvStartsWithTheLevelsBeforeTheOldestChangeKept) {
    PointHistory history(2);
    history.Record(1000, 0, PointLevel::High);
    history.Record(2500000, 0, PointLevel::Low);
    history.Record(3000001, kFirstInputPoint + 31, PointLevel::High);
    ScratchFolder folder;
    const std::string path = (folder.path / "h.csv").u8string();
    CsvWriter csv;
    ASSERT_TRUE(ExportHistory(history, csv, path, 4000000));
    const std::string text = ReadAll(folder.path / "h.csv");
    EXPECT_EQ(text.rfind("time,point,value\n0.001000,coil00,1\n0.001000,coil01,x\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("0.001000,input31,x\n2.500000,coil00,0\n3.000001,input31,1\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(UtcText(1700000000123456), "2023-11-14 22:13:20.123 UTC");
}

} // namespace
