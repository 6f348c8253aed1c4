#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/Device.h"
#include "dialog/IBoardSearchView.h"
#include "tools/BoardScanner.h"

class MainDialog;
class WindowTools;
struct WindowSettings;

// "查找设备...": asks every address over the transport and settings the main window shows
// (on a serial port optionally through every baud rate and parity) on the main window's
// worker, and lists each board (address and line setting) with every
// protocol it answered, as it is found; meanwhile the status says what is asked now, how far
// the search is and how long it may still take. Choosing a board puts its protocol (the
// window's own when the board answered it), address and line settings into the main
// window's fields.
// The search uses a device of its own on the worker, so the main window must not hold the
// transport open.
class BoardSearchSession {
public:
    // tools gives and takes the main window's fields. hooks: how the search's device makes
    // its transport (tests); empty: the real transports.
    BoardSearchSession(WindowTools& tools, IBoardSearchView& view, Device::Hooks hooks = {});
    // A search still running is cancelled (its wait ends at once).
    ~BoardSearchSession();
    BoardSearchSession(const BoardSearchSession&) = delete;
    BoardSearchSession& operator=(const BoardSearchSession&) = delete;

    // Starts a search with all three protocols or only the window's, and on a serial port
    // through every baud rate and parity or only the window's. Refused with a status while
    // the main window is connected or shows no transport.
    void Start(bool allProtocols, bool allLineSettings);
    // Ends the running search; the request under way is called off at once.
    void Cancel();
    bool Running() const { return m_cancel != nullptr; }
    // Fills the main window's fields from the board in row `row` of the list; false when
    // there is no such row or the main window is connected.
    bool Choose(size_t row);

    // The settings a search starts from: the transport and its fields as the window shows them.
    static DeviceConfig BaseConfig(const WindowSettings& settings);
    // A row of the list: "地址 7  Modbus RTU、55协议  19200 偶校验".
    static std::string Describe(const ScanBoard& board);
    // The status while running: "正在询问: 地址 37  Modbus RTU  19200 偶校验  1234/17976，剩余约
    // 2 分 10 秒".
    static std::string ProgressText(const ScanHit& asked, int64_t done, int64_t total,
                                    double secondsLeft);
    // The time a search may still take: at the pace so far once it is known, until then
    // the plan's worst case for what is left.
    static double SecondsLeft(double elapsedSeconds, int64_t done, int64_t total,
                              double worstCaseSeconds);

private:
    // What one request of the search showed: the boards so far, the progress, what was asked.
    struct Probe {
        std::vector<ScanHit> hits;
        int64_t done = 0;
        int64_t total = 0;
        ScanHit asked;
    };
    static void Search(const DeviceConfig& base, const ScanPlan& plan, const Device::Hooks& hooks,
                       const std::shared_ptr<std::atomic<bool>>& cancel, MainDialog& dialog,
                       const std::weak_ptr<BoardSearchSession*>& alive);
    void ShowProbe(const Probe& probe, bool more);
    void Finish(const std::string& status);

    WindowTools& m_tools;
    IBoardSearchView& m_view;
    Device::Hooks m_hooks;
    std::shared_ptr<std::atomic<bool>> m_cancel; // of the running search
    std::vector<ScanBoard> m_found;
    double m_worstCaseSeconds = 0;
    std::chrono::steady_clock::time_point m_started;
    // Posted tasks run only while this session exists.
    std::shared_ptr<BoardSearchSession*> m_alive = std::make_shared<BoardSearchSession*>(this);
};
