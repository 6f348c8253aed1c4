#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "dialog/ISelfTestView.h"
#include "tools/SelfTest.h"

class Device;
class MainDialog;

// "板卡自检...": runs the board self-test on the main window's worker with its connected
// device, with the main window's poll paused until the test ends; the window's thread only
// shows what the worker posts. Shows each coil and input as it is tested (green passed, red failed
// with the reason), the progress, and at the end "自检通过", "自检失败: N 项" or why it was
// interrupted, with a second line when the coils could not be restored.
class SelfTestSession {
public:
    static constexpr Rgb kUntested{241, 241, 0};
    static constexpr Rgb kPassed{50, 255, 50};
    static constexpr Rgb kFailed{240, 0, 0};

    // The loopback option cannot work under the 0x55 protocol, which reads no inputs.
    static constexpr const char* kNoLoopbackTip = "55协议不能读取输入，无法做回环检查";

    // Both must outlive this object. loopbackChoice, when given, holds the loopback option
    // the window remembers: shown at the start and updated when the operator changes it.
    SelfTestSession(MainDialog& dialog, ISelfTestView& view, bool* loopbackChoice = nullptr);
    // A test still running is stopped at once (its wait called off, the coils left as they
    // are).
    ~SelfTestSession();
    SelfTestSession(const SelfTestSession&) = delete;
    SelfTestSession& operator=(const SelfTestSession&) = delete;

    // Starts a test (with the loopback check: coil k wired to input k; never under 0x55).
    // Refused with a verdict when the device is not connected or a test runs.
    void Start(bool loopback);
    // The operator ticked or cleared the loopback option.
    void OnLoopbackChanged(bool checked);
    // Ends the running test: the wait under way ends at once, then the coils are restored.
    void Cancel();
    bool Running() const { return m_run != nullptr; }

    // The result as text, for the clipboard; empty before the first test.
    std::string ResultText() const;
    // The reason a point failed, as the grid shows it; empty when it passed.
    static std::string Reason(const PointVerdict& verdict);
    // The one-line verdict of a finished, cancelled or interrupted test.
    static std::string Verdict(const SelfTestReport& report);
    // What a failed restore left: the coils that differ from before the test, or that they
    // could not be read back; empty when the coils are as before.
    static std::string RestoreProblem(const SelfTestReport& report);

private:
    // What the window's thread and the worker share about one test.
    struct Run {
        std::atomic<bool> cancel{false}; // Cancel: restore, then end
        std::atomic<bool> stop{false};   // the session goes: end at once
    };
    static void Test(Device& device, bool loopback, const std::shared_ptr<Run>& run,
                     MainDialog& dialog, const std::weak_ptr<SelfTestSession*>& alive);
    void ShowStep(const SelfTestReport& report);
    void ShowReport(const SelfTestReport& report);
    void ShowControls();
    bool LoopbackPossible() const;
    void Finish(const SelfTestReport& report);

    MainDialog& m_dialog;
    ISelfTestView& m_view;
    bool* m_loopbackChoice;
    bool m_loopback = false;
    std::shared_ptr<Run> m_run;       // of the running test
    SelfTestReport m_last;            // of the test that ended last
    std::vector<std::string> m_shown; // what each point shows now, coils then inputs
    // Posted tasks run only while this session exists.
    std::shared_ptr<SelfTestSession*> m_alive = std::make_shared<SelfTestSession*>(this);
};
