#pragma once

#include <QTimer>

#include <memory>

#include "dialog/BoardSearchSession.h"
#include "dialog/IBoardSearchView.h"
#include "ui/qt/DescribedDialog.h"

class WindowTools;

// "查找设备..." on Qt, rendered from its description. A zero-interval timer sends one request
// per turn of the event loop. "使用所选设备" (or a double-click) hands the chosen board to the
// main window and closes.
class BoardSearchDialog : public DescribedDialog, private IBoardSearchView {
    Q_OBJECT

public:
    BoardSearchDialog(WindowTools& tools, QWidget* parent);

private:
    bool ToolRunning() const override { return m_session->Running(); }
    void CancelTool() override { m_session->Cancel(); }

    void ClearFound() override;
    void AddFound(const std::string& text) override;
    void SetFound(size_t row, const std::string& text) override;
    void ShowProgress(int64_t done, int64_t total) override;
    void ShowStatus(const std::string& text) override;
    void ShowRunning(bool running) override { ShowRunningState(running); }
    void StartStepping() override { m_stepper.start(); }
    void StopStepping() override { m_stepper.stop(); }
    void UseChosen();

    QTimer m_stepper;
    // Last: a running search ends before the widgets go.
    std::unique_ptr<BoardSearchSession> m_session;
};
