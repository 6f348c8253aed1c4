// Measures what keeping a long log costs in a log pane: the time to append a line once the
// pane holds a thousand lines and once it holds a million, the time to repaint the visible
// page at both points, and the memory each kept line takes. Runs offscreen unless a
// platform is chosen with QT_QPA_PLATFORM.
//
//   vornak_logpane_bench [--lines N] [--memory-lines M] [--batch B] [--append-fill]
//
// The pane for the late measurement is filled with N lines in large edits, which builds the
// same one-block-per-line document in seconds; --append-fill fills it line by line through
// AppendLine instead, as the window does (about a minute per million lines). The memory
// figure always comes from M lines appended one by one, with their layouts.
//
// Times are CPU time of the thread, so that other work on the machine does not distort the
// ratio. Exits 1 when the late appends cost more than 1.5 times the early ones.

#include "ui/CLogPane.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QString>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

constexpr long long kEarlyLines = 1000;
constexpr int kRounds = 9;
constexpr double kRatioGoal = 1.5;

// CPU time of the calling thread in microseconds.
double ThreadCpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

// Resident set size in bytes, from /proc; -1 if it cannot be read.
long long ResidentBytes() {
    FILE* file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return -1;
    long long pages = 0, resident = 0;
    const int read = std::fscanf(file, "%lld %lld", &pages, &resident);
    std::fclose(file);
    if (read != 2)
        return -1;
    return resident * sysconf(_SC_PAGESIZE);
}

// A line like the ones the device logs: a received frame in hexadecimal.
QString FrameLine(long long n) {
    QString line = QStringLiteral("接收: 01 01 04");
    for (int i = 0; i < 6; ++i) {
        line += QLatin1Char(' ');
        line += QString::number((n >> (i * 4)) & 0xFF, 16).rightJustified(2, QLatin1Char('0'));
    }
    return line.toUpper();
}

std::unique_ptr<CLogPane> NewPane() {
    auto pane = std::make_unique<CLogPane>();
    pane->setFont(DialogUnits::DialogFont());
    // The size of the send pane in the main window.
    pane->resize(DialogUnits::ToPixels(QSize(149, 85)));
    pane->show();
    QApplication::processEvents();
    return pane;
}

// Appends lines [from, to) one by one, letting the window repaint now and then.
void AppendFill(CLogPane& pane, long long from, long long to) {
    for (long long n = from; n < to; ++n) {
        pane.AppendLine(FrameLine(n));
        if (n % 4096 == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
}

// Adds lines [from, to) to a pane that already holds at least one line, thousands per edit.
void BulkFill(CLogPane& pane, long long from, long long to) {
    QTextCursor cursor(pane.document());
    cursor.movePosition(QTextCursor::End);
    const long long chunk = 10000;
    for (long long start = from; start < to; start += chunk) {
        QString text;
        for (long long n = start; n < std::min(to, start + chunk); ++n) {
            text += QLatin1Char('\n');
            text += FrameLine(n);
        }
        cursor.insertText(text);
    }
    pane.AppendLine(FrameLine(to)); // scrolls to the end as every append does
    QApplication::processEvents();
}

struct BatchCost {
    double appendMicros;  // per line
    double repaintMicros; // per repaint of the visible page
};

// Appends `batch` lines starting with line `first`, then repaints the visible page a few
// times; the window's pending work is done before either is timed.
BatchCost TimeBatch(CLogPane& pane, long long first, int batch) {
    QApplication::processEvents();
    const double start = ThreadCpuMicros();
    for (int i = 0; i < batch; ++i)
        pane.AppendLine(FrameLine(first + i));
    const double appended = ThreadCpuMicros();
    QApplication::processEvents();
    const int repaints = 20;
    const double paintStart = ThreadCpuMicros();
    for (int i = 0; i < repaints; ++i)
        pane.viewport()->repaint();
    const double painted = ThreadCpuMicros();
    return {(appended - start) / batch, (painted - paintStart) / repaints};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    long long lines = 1000000;
    long long memoryLines = 100000;
    int batch = 1000;
    bool appendFill = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--append-fill") == 0) {
            appendFill = true;
        } else if (std::strcmp(argv[i], "--lines") == 0 && hasValue) {
            lines = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--memory-lines") == 0 && hasValue) {
            memoryLines = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--batch") == 0 && hasValue) {
            batch = std::atoi(argv[++i]);
        } else {
            lines = -1;
            break;
        }
    }
    if (lines < 2 * kEarlyLines || memoryLines < 1000 || batch < 1) {
        std::fprintf(stderr,
                     "usage: %s [--lines N >= %lld] [--memory-lines M >= 1000] [--batch B >= 1] "
                     "[--append-fill]\n",
                     argv[0], 2 * kEarlyLines);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Memory: lines appended one by one, as the window does.
    long long memoryDelta = -1;
    {
        auto pane = NewPane();
        const long long before = ResidentBytes();
        AppendFill(*pane, 0, memoryLines);
        const long long after = ResidentBytes();
        if (before > 0 && after > 0)
            memoryDelta = after - before;
    }

    // Late: one pane holding `lines` lines, measured in consecutive batches.
    auto late = NewPane();
    const double fillStart = ThreadCpuMicros();
    if (appendFill) {
        AppendFill(*late, 0, lines);
    } else {
        late->AppendLine(FrameLine(0));
        BulkFill(*late, 1, lines - 1);
    }
    const double fillSeconds = (ThreadCpuMicros() - fillStart) / 1e6;

    // Early batches (a fresh pane of a thousand lines each round) alternate with late ones,
    // so that both see the same load on the machine.
    std::vector<double> earlyAppend, earlyPaint, lateAppend, latePaint;
    for (int round = 0; round < kRounds; ++round) {
        auto early = NewPane();
        AppendFill(*early, 0, kEarlyLines);
        BatchCost cost = TimeBatch(*early, kEarlyLines, batch);
        earlyAppend.push_back(cost.appendMicros);
        earlyPaint.push_back(cost.repaintMicros);
        cost = TimeBatch(*late, late->LineCount(), batch);
        lateAppend.push_back(cost.appendMicros);
        latePaint.push_back(cost.repaintMicros);
    }
    const long long lateLines = late->LineCount();

    const double ratio = Median(lateAppend) / Median(earlyAppend);
    std::printf("lines in the late pane:       %lld (%s, %.1f s CPU)\n", lateLines,
                appendFill ? "appended one by one" : "bulk-filled", fillSeconds);
    std::printf("append, after %lld lines:     %8.2f us/line CPU (median of %d batches of %d)\n",
                kEarlyLines, Median(earlyAppend), kRounds, batch);
    std::printf("append, after %lld lines:  %8.2f us/line CPU\n", lines, Median(lateAppend));
    std::printf("append ratio late/early:      %8.2f (goal <= %.1f)\n", ratio, kRatioGoal);
    std::printf("repaint of the visible page:  %8.1f us early, %.1f us late\n", Median(earlyPaint),
                Median(latePaint));
    if (memoryDelta >= 0) {
        std::printf("memory per kept line:         %8.1f bytes (RSS %+lld bytes over %lld "
                    "appended lines of %d characters)\n",
                    static_cast<double>(memoryDelta) / memoryLines, memoryDelta, memoryLines,
                    static_cast<int>(FrameLine(0).size()));
    }
    return ratio <= kRatioGoal ? 0 : 1;
}
