#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

#include "dialog/BoardSearchSession.h"
#include "dialog/IBoardSearchView.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class WindowTools;

// "查找设备..." on Qt: the options (all protocols, every baud rate and parity), start and
// cancel, the list of boards found as they answer, a progress bar and a status line. A
// zero-interval timer sends one request per turn of the event loop. "使用所选设备" (or a
// double-click) puts the chosen board's settings into the main window and closes.
class BoardSearchDialog : public QDialog, private IBoardSearchView {
    Q_OBJECT

public:
    BoardSearchDialog(WindowTools& tools, QWidget* parent);

public slots:
    // Esc and the close box cancel a running search; they close the dialog once it ended.
    void reject() override;

private:
    void ClearFound() override;
    void AddFound(const std::string& text) override;
    void ShowProgress(int64_t done, int64_t total) override;
    void ShowStatus(const std::string& text) override;
    void ShowRunning(bool running) override;
    void StartStepping() override { m_stepper.start(); }
    void StopStepping() override { m_stepper.stop(); }
    void UseChosen();

    QCheckBox* m_allProtocols = nullptr;
    QCheckBox* m_allLineSettings = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_use = nullptr;
    QListWidget* m_found = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QTimer m_stepper;
    // Last: a running search ends before the widgets go.
    std::unique_ptr<BoardSearchSession> m_session;
};
