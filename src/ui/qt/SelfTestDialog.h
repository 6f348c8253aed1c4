#pragma once

#include <memory>

#include "dialog/ISelfTestView.h"
#include "dialog/SelfTestSession.h"
#include "ui/qt/DescribedDialog.h"

class MainDialog;
class QLabel;

// "板卡自检..." on Qt, rendered from its description. The test runs on the main window's
// worker, so painting and clicks go on while it runs.
class SelfTestDialog : public DescribedDialog, private ISelfTestView {
    Q_OBJECT

public:
    // loopbackChoice: the loopback option the window remembers.
    SelfTestDialog(MainDialog& dialog, bool& loopbackChoice, QWidget* parent);

    // The grid cell of a coil or input (0..31), for inspection.
    QLabel* Point(bool isCoil, int32_t index) const;

private:
    bool ToolRunning() const override { return m_session->Running(); }
    void CancelTool() override { m_session->Cancel(); }

    void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) override;
    void ShowInputs(bool shown) override;
    void ShowProgress(int32_t done, int32_t total) override;
    void ShowVerdict(const std::string& text) override;
    void ShowControls(const SelfTestControls& controls) override;

    // Last: a test still running is brought to its end before the widgets go.
    std::unique_ptr<SelfTestSession> m_session;
};
