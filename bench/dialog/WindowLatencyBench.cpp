// How long the window's thread keeps an event waiting while the board is slow or silent: the
// window's layer (MainDialog and the tool sessions) with its real worker against vornak-sim,
// and a stand-in window whose thread runs posted tasks and timers as a toolkit's event loop
// does. A prober thread posts an event every ~10 ms at a random offset; its latency is the
// time until the window's thread handles it. Disconnect, close and cancel are timed from the
// call until the worker has let go.
//
//   vornak_window_bench [seconds per scenario, default 5]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dialog/BoardSearchSession.h"
#include "dialog/FakeWindow.h"
#include "dialog/IniSettingsStore.h"
#include "dialog/MainDialog.h"
#include "dialog/MainDlgIds.h"
#include "dialog/SelfTestSession.h"
#include "dialog/WindowTools.h"
#include "support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The window: controls as plain values, and one thread that runs what is posted and the
// timers that are due, in turn, as a window's event loop does.
class BenchWindow : public IMainDialogView {
public:
    MainDialog* dialog = nullptr;
    std::map<int32_t, std::string> texts;
    std::map<int32_t, bool> checks;

    void SetTitle(const std::string&) override {}
    void SetText(int32_t id, const std::string& text) override { texts[id] = text; }
    std::string GetText(int32_t id) override { return texts[id]; }
    void SetCheck(int32_t id, bool checked) override { checks[id] = checked; }
    bool GetCheck(int32_t id) override { return checks[id]; }
    void Enable(int32_t, bool) override {}
    void SetComboItems(int32_t, const std::vector<std::string>&) override {}
    void SelectComboItem(int32_t, int32_t) override {}
    int32_t GetComboSelection(int32_t) override { return -1; }
    void SetButtonLook(int32_t, const std::string&, Rgb, Rgb) override {}
    void AppendLine(int32_t, const std::string&) override {}
    void DropOldestLines(int32_t, int32_t) override {}
    void StartTimer(int32_t id, int32_t ms) override {
        timers[id] = {std::chrono::milliseconds(ms), Clock::now() + std::chrono::milliseconds(ms)};
    }
    void StopTimer(int32_t id) override { timers.erase(id); }
    void Post(std::function<void()> task) override {
        {
            std::lock_guard<std::mutex> hold(lock);
            posted.push_back(std::move(task));
        }
        wake.notify_one();
    }
    void ShowAboutBox(const AboutBoxTexts&) override {}
    void ShowTimeline() override {}
    void Close() override {}

    // The event loop for `ms`, or until `until` holds.
    void Run(double ms, const std::function<bool()>& until = {}) {
        const auto end = Clock::now() + std::chrono::microseconds(int64_t(ms * 1000));
        while (Clock::now() < end && !(until && until())) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> hold(lock);
                auto due = end;
                for (const auto& [id, timer] : timers)
                    due = std::min(due, timer.next);
                wake.wait_until(hold, due, [this] { return !posted.empty(); });
                if (!posted.empty()) {
                    task = std::move(posted.front());
                    posted.pop_front();
                }
            }
            if (task) {
                task();
                continue;
            }
            for (auto& [id, timer] : timers) {
                if (Clock::now() >= timer.next) {
                    timer.next = Clock::now() + timer.interval;
                    dialog->OnTimer(id);
                    break; // the timers may have changed
                }
            }
        }
    }
    void Click(int32_t id) {
        if (id == IDC_USE_TCP || id == IDC_POLL_ENABLE)
            checks[id] = !checks[id];
        dialog->OnCommand(id);
    }

private:
    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point next;
    };
    std::map<int32_t, Timer> timers;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> posted;
};

// Posts a probe every 5..15 ms from its own thread, as the desktop delivers input, and
// collects how long each waited for the window's thread.
class Prober {
public:
    explicit Prober(BenchWindow& window) : thread([this, &window] { Probe(window); }) {}
    ~Prober() {
        stop = true;
        thread.join();
    }
    std::vector<double> Latencies() {
        std::lock_guard<std::mutex> hold(lock);
        return latencies;
    }

private:
    void Probe(BenchWindow& window) {
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> gap(5000, 15000);
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
            const auto sent = Clock::now();
            window.Post([this, sent] {
                std::lock_guard<std::mutex> hold(lock);
                latencies.push_back(MsSince(sent));
            });
        }
    }
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<double> latencies;
    std::thread thread; // last: starts once the rest exists
};

struct Stand {
    BenchWindow window;
    std::unique_ptr<MainDialog> dialog;
    Stand()
        : dialog(std::make_unique<MainDialog>(window, [] { return std::vector<std::string>{}; })) {
        window.dialog = dialog.get();
        dialog->OnInitDialog();
    }
    void Connect(uint16_t port, int32_t receiveTimeout, int32_t retries) {
        DeviceConfig config = dialog->Config();
        config.receiveTimeout = receiveTimeout;
        config.retryCount = retries;
        dialog->SetConfig(config);
        window.texts[IDC_POLL_INTERVAL] = "100";
        window.texts[IDC_ADDRESS_COMBO] = "1";
        window.Click(IDC_USE_TCP);
        window.texts[IDC_TCP_SERVER] = "127.0.0.1";
        window.texts[IDC_TCP_PORT] = std::to_string(port);
        window.Click(IDC_TCP_CONNECT);
    }
};

// The operator acts from outside after `afterMs`, while the window's thread may be busy: the
// action is posted as an input event. Runs the window until `done` holds; the time from the
// action's post until then, in ms.
double ActAfter(BenchWindow& window, double afterMs, const std::function<void()>& action,
                const std::function<bool()>& done) {
    std::atomic<bool> acted{false};
    Clock::time_point actedAt;
    std::thread operatorThread([&] {
        std::this_thread::sleep_for(std::chrono::microseconds(int64_t(afterMs * 1000)));
        actedAt = Clock::now();
        acted = true;
        window.Post(action);
    });
    window.Run(afterMs + 120000, [&] { return acted && done(); });
    operatorThread.join();
    return MsSince(actedAt);
}

void Report(const char* scenario, std::vector<double> ms, const std::string& extra) {
    std::sort(ms.begin(), ms.end());
    auto at = [&ms](double q) {
        return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))];
    };
    std::printf("%-44s %5zu probes  median %7.1f  p95 %7.1f  p99 %7.1f  max %7.1f ms  %s\n",
                scenario, ms.size(), at(0.5), at(0.95), at(0.99), ms.empty() ? 0.0 : ms.back(),
                extra.c_str());
    std::fflush(stdout);
}

std::string Timed(const char* what, double ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.1f ms", what, ms);
    return text;
}

// A silent board with the given wait: probed while polling at 100 ms, then "断开" and the
// close, each timed during a wait.
void SilentBoard(uint16_t port, int32_t waitMs, double seconds) {
    std::string extra;
    std::vector<double> latencies;
    for (bool closing : {false, true}) {
        Stand stand;
        Prober prober(stand.window);
        stand.Connect(port, waitMs, 3);
        if (closing) {
            bool closed = false;
            const double handled = ActAfter(
                stand.window, seconds * 1000 / 2,
                [&] {
                    stand.dialog->OnCancel();
                    closed = true;
                },
                [&] { return closed; });
            // From the click until the worker has ended (the Device let go of the board).
            const auto joined = Clock::now();
            stand.dialog.reset();
            extra += Timed("close", handled + MsSince(joined));
        } else {
            extra += Timed("disconnect", ActAfter(
                                             stand.window, seconds * 1000 / 2,
                                             [&] { stand.window.Click(IDC_TCP_DISCONNECT); },
                                             [&] {
                                                 return stand.dialog->Shown().state ==
                                                        DeviceState::Disconnected;
                                             })) +
                     ", ";
        }
        const std::vector<double> some = prober.Latencies();
        latencies.insert(latencies.end(), some.begin(), some.end());
    }
    char name[64];
    std::snprintf(name, sizeof name, "silent board, %d ms x 3, poll 100 ms", waitMs);
    Report(name, latencies, extra);
}

// A TCP host whose handshake never completes: a listening socket that never accepts, its
// backlog filled first. The connect is called off with "断开".
void HangingConnect(double seconds) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(server, 0);
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Stand stand;
    Prober prober(stand.window);
    stand.Connect(ntohs(address.sin_port), 100, 3);
    const double ms = ActAfter(
        stand.window, std::min(seconds * 1000, 4000.0),
        [&] { stand.window.Click(IDC_TCP_DISCONNECT); },
        [&] { return stand.dialog->Shown().state == DeviceState::Disconnected; });
    Report("connect to a host that never answers", prober.Latencies(), Timed("cancel connect", ms));
    stand.dialog.reset();
    for (int fd : fillers)
        close(fd);
    close(server);
}

struct SelfTestView : ISelfTestView {
    bool running = false;
    int32_t done = 0;
    void ShowPoint(bool, int32_t, Rgb, const std::string&) override {}
    void ShowInputs(bool) override {}
    void ShowProgress(int32_t d, int32_t) override { done = d; }
    void ShowVerdict(const std::string& text) override { verdict = text; }
    void ShowControls(const SelfTestControls& controls) override { running = controls.cancel; }
    std::string verdict;
};

void SelfTestAt60(uint16_t port, double seconds) {
    Stand stand;
    stand.Connect(port, 1000, 3);
    stand.window.Run(5000, [&] { return stand.dialog->Shown().connected; });
    SelfTestView view;
    auto session = std::make_unique<SelfTestSession>(*stand.dialog, view);
    Prober prober(stand.window);
    session->Start(false);
    const double ms = ActAfter(
        stand.window, seconds * 1000, [&] { session->Cancel(); }, [&] { return !view.running; });
    Report("self-test, turnaround 60 ms", prober.Latencies(),
           Timed("cancel (coils restored)", ms) + " after " + std::to_string(view.done) +
               " steps (" + view.verdict + ")");
}

struct SearchView : IBoardSearchView {
    bool running = false;
    void ClearFound() override {}
    void AddFound(const std::string&) override {}
    void SetFound(size_t, const std::string&) override {}
    void ShowProgress(int64_t, int64_t) override {}
    void ShowStatus(const std::string&) override {}
    void ShowRunning(bool r) override { running = r; }
};

void SearchSilentTcp(uint16_t port, double seconds) {
    Stand stand;
    FakeToolsView toolsView;
    IniSettingsStore store{""};
    WindowTools tools(*stand.dialog, stand.window, toolsView, store, "");
    stand.window.Click(IDC_USE_TCP);
    stand.window.texts[IDC_TCP_SERVER] = "127.0.0.1";
    stand.window.texts[IDC_TCP_PORT] = std::to_string(port);
    SearchView view;
    BoardSearchSession session(tools, view);
    Prober prober(stand.window);
    session.Start(true, false);
    const double ms = ActAfter(
        stand.window, seconds * 1000, [&] { session.Cancel(); }, [&] { return !view.running; });
    Report("board search over TCP, silent board", prober.Latencies(), Timed("cancel", ms));
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5;
    SimProcess silent{VORNAK_SIM_PATH};
    SimProcess slow{VORNAK_SIM_PATH};
    if (!silent.Start({"--tcp", "0", "--quiet", "--silent"}) ||
        !slow.Start({"--tcp", "0", "--quiet", "--turnaround", "60"})) {
        std::fprintf(stderr, "vornak-sim did not start\n");
        return 1;
    }
    SilentBoard(silent.TcpPort(), 100, seconds);
    SilentBoard(silent.TcpPort(), 5000, seconds);
    HangingConnect(seconds);
    SelfTestAt60(slow.TcpPort(), seconds);
    SearchSilentTcp(silent.TcpPort(), seconds);
    return 0;
}
