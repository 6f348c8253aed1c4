#pragma once

#include <memory>

#include "dialog/ISelfTestView.h"
#include "dialog/SelfTestSession.h"
#include "ui/win32/DescribedDialog.h"

class MainDialog;

// "板卡自检..." in plain Win32, rendered from its description. The test runs on the main
// window's worker, so painting and clicks go on while it runs.
class SelfTestDialog : public DescribedDialog, private ISelfTestView {
public:
    // loopbackChoice: the loopback option the window remembers.
    SelfTestDialog(MainDialog& dialog, bool& loopbackChoice);
    ~SelfTestDialog() override;

private:
    void OnInit() override;
    void OnCommand(int32_t id, int32_t code) override;
    void OnDestroy() override { m_session.reset(); }
    bool ToolRunning() const override { return m_session && m_session->Running(); }
    void CancelTool() override;

    void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) override;
    void ShowInputs(bool shown) override;
    void ShowProgress(int32_t done, int32_t total) override;
    void ShowVerdict(const std::string& text) override;
    void ShowControls(const SelfTestControls& controls) override;

    MainDialog& m_dialog;
    bool& m_loopbackChoice;
    std::unique_ptr<SelfTestSession> m_session; // while the window is there
};
