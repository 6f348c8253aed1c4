#pragma once

#include <memory>

#include "dialog/BoardSearchSession.h"
#include "dialog/IBoardSearchView.h"
#include "ui/qt/DescribedDialog.h"

class WindowTools;

// "查找设备..." on Qt, rendered from its description. The search runs on the main window's
// worker. "使用所选设备" (or a double-click) hands the chosen board to the main window and
// closes.
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
    void UseChosen();

    // Last: a running search ends before the widgets go.
    std::unique_ptr<BoardSearchSession> m_session;
};
