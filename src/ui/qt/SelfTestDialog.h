#pragma once

#include <QDialog>

#include <array>
#include <memory>

#include "dialog/ISelfTestView.h"
#include "dialog/SelfTestSession.h"

class MainDialog;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// "板卡自检..." on Qt: the loopback option, start, cancel and copy buttons, a 32 + 32 grid of
// points, a progress bar and the verdict. The test runs on the main window's worker, so
// painting and clicks go on while it runs.
class SelfTestDialog : public QDialog, private ISelfTestView {
    Q_OBJECT

public:
    SelfTestDialog(MainDialog& dialog, QWidget* parent);

    // The grid cell of a coil or input (0..31), for inspection.
    QLabel* Point(bool isCoil, int32_t index) const;

public slots:
    // Esc and the close box cancel a running test; they close the dialog once it has ended.
    void reject() override;

private:
    void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) override;
    void ShowInputs(bool shown) override;
    void ShowProgress(int32_t done, int32_t total) override;
    void ShowVerdict(const std::string& text) override;
    void ShowRunning(bool running) override;

    QCheckBox* m_loopback = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_copy = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_verdict = nullptr;
    QWidget* m_inputs = nullptr;
    std::array<QLabel*, 64> m_points{}; // coils, then inputs
    // Last: a test still running is brought to its end before the widgets go.
    std::unique_ptr<SelfTestSession> m_session;
};
