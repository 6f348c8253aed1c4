// How long the Qt window's process lingers after its window closes: connected to vornak-sim
// over TCP and polling every 100 ms, and connected to a board that answers 300 ms late (the
// worker in a receive wait), against the same window never connected (the baseline),
// measured in the same run. The program starts itself as the window (--window), with its own
// settings and session log folders; that child stamps the moment it closes its window on
// standard output, and the parent times from there until the child has exited.
//
//   vornak_exit_bench [runs per case, default 5]
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "dialog/MainDlgIds.h"
#include "support/SimProcess.h"
#include "ui/qt/App.h"
#include "ui/qt/MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The window: with a port, it connects over TCP, polls for a second and closes; without, it
// closes a second after it shows. Prints "CLOSE <ns>" just before the close.
int RunWindow(int argc, char** argv, const char* port) {
    App app(argc, argv);
    MainWindow window(nullptr, QSize(), MainWindow::Storage::ForUser());
    auto close = [&window] {
        std::printf("CLOSE %lld\n", NowNs());
        std::fflush(stdout);
        window.close();
    };
    if (std::strcmp(port, "none") == 0) {
        QTimer::singleShot(1000, &window, close);
    } else {
        QTimer::singleShot(0, &window, [&window, port, close] {
            auto edit = [&window](int32_t id) {
                return static_cast<QLineEdit*>(window.GetDlgItem(id));
            };
            // Remembered from the run before, or ticked now.
            auto* tcp = static_cast<QCheckBox*>(window.GetDlgItem(IDC_USE_TCP));
            if (!tcp->isChecked())
                tcp->click();
            edit(IDC_TCP_SERVER)->setText("127.0.0.1");
            edit(IDC_TCP_PORT)->setText(port);
            edit(IDC_POLL_INTERVAL)->setText("100");
            static_cast<QAbstractButton*>(window.GetDlgItem(IDC_TCP_CONNECT))->click();
            // Polling for a second once connected, then closed mid-poll.
            auto* wait = new QTimer(&window);
            QObject::connect(wait, &QTimer::timeout, &window, [&window, wait, close] {
                if (static_cast<QLabel*>(window.GetDlgItem(IDC_TCP_STATUS))->text() != "已连接")
                    return;
                wait->stop();
                QTimer::singleShot(1000, &window, close);
            });
            wait->start(20);
        });
    }
    // A window that never got connected ends unstamped: the run counts as failed.
    QTimer::singleShot(30000, &window, [&window] { window.close(); });
    window.exec();
    return 0;
}

// One run of the window: ms from its close to its exit, or -1 when it failed.
double Measure(const char* self, const std::string& port) {
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(self, self, "--window", port.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    // The pipe's end comes with the process's end; the exit is stamped after waitpid.
    const long long exited = NowNs();
    const size_t at = text.find("CLOSE ");
    if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(exited - std::atoll(text.c_str() + at + 6)) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--window") == 0)
        return RunWindow(argc, argv, argv[2]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // The window's settings and session logs go to a scratch home, not the user's.
    char home[] = "/tmp/vornak-exit-bench.XXXXXX";
    if (::mkdtemp(home) == nullptr)
        return 1;
    ::setenv("HOME", home, 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
        ::unsetenv(name);
    if (std::getenv("DISPLAY") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    SimProcess sim(VORNAK_SIM_PATH);
    if (!sim.Start({"--tcp", "0", "--quiet"})) {
        std::fprintf(stderr, "the simulator did not start: %s\n", sim.ErrorOutput().c_str());
        return 1;
    }
    // A board that answers every request 300 ms late: the worker is inside a receive wait
    // (and its retries) whenever the window closes.
    SimProcess slow(VORNAK_SIM_PATH);
    if (!slow.Start({"--tcp", "0", "--quiet", "--delay", "300"})) {
        std::fprintf(stderr, "the simulator did not start: %s\n", slow.ErrorOutput().c_str());
        return 1;
    }
    std::vector<double> idle, polling, waiting;
    for (int i = 0; i < runs; ++i) {
        idle.push_back(Measure(argv[0], "none"));
        polling.push_back(Measure(argv[0], std::to_string(sim.TcpPort())));
        waiting.push_back(Measure(argv[0], std::to_string(slow.TcpPort())));
    }
    bool failed = false;
    for (const auto& [name, values] :
         {std::make_pair("never connected", idle), std::make_pair("connected, polling", polling),
          std::make_pair("slow board, waiting", waiting)}) {
        std::printf("%-20s close to exit, ms:", name);
        for (double ms : values) {
            std::printf(" %.0f", ms);
            failed = failed || ms < 0;
        }
        std::printf("  (median %.0f)\n", Median(values));
    }
    std::printf("against never connected: polling %.2f, slow board %.2f\n",
                Median(polling) / Median(idle), Median(waiting) / Median(idle));
    const std::string cleanup = std::string("rm -rf ") + home;
    return std::system(cleanup.c_str()) == 0 && !failed ? 0 : 1;
}
