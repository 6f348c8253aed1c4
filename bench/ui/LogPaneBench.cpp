// Measures what a long session costs the log panes: device lines go through the window's
// whole path (MainDialog's handling of a posted device line into the Qt window's receive
// pane, which keeps its newest lines), and this program times an append once a thousand
// lines have been appended and once a million have, and the resident memory of the process
// after ten thousand and after a million appended lines. Runs offscreen unless a platform is
// chosen with QT_QPA_PLATFORM.
//
//   vornak_logpane_bench [--lines N] [--batch B]
//
// Times are CPU time of the thread, so that other work on the machine does not distort the
// ratio; early and late batches alternate so that both see the same load. Exits 1 when the
// late appends cost more than 1.5 times the early ones or the memory grows by more than 1.2.

#include "dialog/MainDlgIds.h"
#include "ui/qt/MainWindow.h"

#include <QApplication>
#include <QString>

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
constexpr long long kMemoryBaseLines = 10000;
constexpr int kRounds = 9;
constexpr double kRatioGoal = 1.5;
constexpr double kMemoryGoal = 1.2;

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
std::string FrameLine(long long n) {
    char line[64];
    std::snprintf(line, sizeof line, "接收: 01 01 04 %02llX %02llX %02llX %02llX %02llX %02llX ",
                  n & 0xFF, (n >> 8) & 0xFF, (n >> 16) & 0xFF, (n >> 24) & 0xFF, (n >> 4) & 0xFF,
                  (n >> 12) & 0xFF);
    return line;
}

class Window {
public:
    Window() : m_dlg(std::make_unique<MainWindow>(nullptr, QSize(1920, 1040))) {
        m_dlg->show();
        QApplication::processEvents();
    }
    // Appends lines [m_appended, to) one by one, letting the window repaint now and then.
    void AppendUpTo(long long to) {
        for (; m_appended < to; ++m_appended) {
            m_dlg->Dialog().ShowLine(FrameLine(m_appended), false);
            if (m_appended % 4096 == 0)
                QApplication::processEvents();
        }
        QApplication::processEvents();
    }
    // CPU microseconds per line of the next batch appends, pending paints done first.
    double TimeBatch(int batch) {
        QApplication::processEvents();
        const double start = ThreadCpuMicros();
        for (int i = 0; i < batch; ++i, ++m_appended)
            m_dlg->Dialog().ShowLine(FrameLine(m_appended), false);
        const double micros = (ThreadCpuMicros() - start) / batch;
        QApplication::processEvents();
        return micros;
    }
    long long Appended() const { return m_appended; }

private:
    std::unique_ptr<MainWindow> m_dlg;
    long long m_appended = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    long long lines = 1000000;
    int batch = 1000;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--lines") == 0 && hasValue) {
            lines = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--batch") == 0 && hasValue) {
            batch = std::atoi(argv[++i]);
        } else {
            lines = -1;
            break;
        }
    }
    if (lines < 2 * kMemoryBaseLines || batch < 1) {
        std::fprintf(stderr, "usage: %s [--lines N >= %lld] [--batch B >= 1]\n", argv[0],
                     2 * kMemoryBaseLines);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Window late;
    const double fillStart = ThreadCpuMicros();
    late.AppendUpTo(kMemoryBaseLines);
    const long long baseMemory = ResidentBytes();
    late.AppendUpTo(lines);
    const long long lateMemory = ResidentBytes();
    const double fillSeconds = (ThreadCpuMicros() - fillStart) / 1e6;

    std::vector<double> early, lateCost;
    for (int round = 0; round < kRounds; ++round) {
        Window fresh;
        fresh.AppendUpTo(kEarlyLines);
        early.push_back(fresh.TimeBatch(batch));
        lateCost.push_back(late.TimeBatch(batch));
    }

    const double ratio = Median(lateCost) / Median(early);
    const double memoryRatio = double(lateMemory) / double(baseMemory);
    std::printf("lines appended to the late pane: %lld (%.1f s CPU)\n", late.Appended(),
                fillSeconds);
    std::printf("append, after %lld lines:    %8.2f us/line CPU (median of %d batches of %d)\n",
                kEarlyLines, Median(early), kRounds, batch);
    std::printf("append, after %lld lines: %8.2f us/line CPU\n", lines, Median(lateCost));
    std::printf("append ratio late/early:     %8.2f (goal <= %.1f)\n", ratio, kRatioGoal);
    std::printf("resident memory:             %.1f MB after %lld lines, %.1f MB after %lld\n",
                baseMemory / 1e6, kMemoryBaseLines, lateMemory / 1e6, lines);
    std::printf("memory ratio:                %8.2f (goal <= %.1f)\n", memoryRatio, kMemoryGoal);
    return ratio <= kRatioGoal && memoryRatio <= kMemoryGoal ? 0 : 1;
}
