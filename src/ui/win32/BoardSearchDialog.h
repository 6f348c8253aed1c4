#pragma once

#include <memory>

#include "dialog/BoardSearchSession.h"
#include "dialog/IBoardSearchView.h"
#include "ui/win32/DescribedDialog.h"

class WindowTools;

// "查找设备..." in plain Win32, rendered from its description. The search runs on the main
// window's worker. "使用所选设备" (or a double-click) hands the chosen board to the main
// window and closes.
class BoardSearchDialog : public DescribedDialog, private IBoardSearchView {
public:
    explicit BoardSearchDialog(WindowTools& tools);
    ~BoardSearchDialog() override;

private:
    void OnInit() override;
    void OnCommand(int32_t id, int32_t code) override;
    void OnDestroy() override { m_session.reset(); }
    bool ToolRunning() const override { return m_session && m_session->Running(); }
    void CancelTool() override;
    void UseChosen();

    void ClearFound() override;
    void AddFound(const std::string& text) override;
    void SetFound(size_t row, const std::string& text) override;
    void ShowProgress(int64_t done, int64_t total) override;
    void ShowStatus(const std::string& text) override;
    void ShowRunning(bool running) override { ShowRunningState(running); }

    WindowTools& m_tools;
    std::unique_ptr<BoardSearchSession> m_session; // while the window is there
};
