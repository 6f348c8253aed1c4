#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dialog/ISelfTestView.h"
#include "tools/SelfTest.h"

class MainDialog;

// "板卡自检...": runs the board self-test on the main window's connected device one
// transaction per OnStep, so the window stays responsive, with the main window's poll paused
// until the test ends. Shows each coil and input as it is tested (green passed, red failed
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
    // A test still running is cancelled and brought to its end (the coils restored).
    ~SelfTestSession();
    SelfTestSession(const SelfTestSession&) = delete;
    SelfTestSession& operator=(const SelfTestSession&) = delete;

    // Starts a test (with the loopback check: coil k wired to input k; never under 0x55).
    // Refused with a verdict when the device is not connected or a test runs.
    void Start(bool loopback);
    // The operator ticked or cleared the loopback option.
    void OnLoopbackChanged(bool checked);
    // Ends the running test after restoring the coils.
    void Cancel();
    // Runs the next transaction of the running test and shows what it found.
    void OnStep();
    bool Running() const { return m_test != nullptr; }

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
    void ShowReport(const SelfTestReport& report);
    void ShowControls();
    bool LoopbackPossible() const;
    void Finish();

    MainDialog& m_dialog;
    ISelfTestView& m_view;
    bool* m_loopbackChoice;
    bool m_loopback = false;
    std::unique_ptr<SelfTest> m_test;
    SelfTestReport m_last;            // of the test that ended last
    std::vector<std::string> m_shown; // what each point shows now, coils then inputs
};
