#pragma once

#include <QDialog>
#include <QTimer>

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
// points, a progress bar and the verdict. A zero-interval timer runs one transaction per
// turn of the event loop, so painting and clicks go on while the test runs.
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
    void StartStepping() override { m_stepper.start(); }
    void StopStepping() override { m_stepper.stop(); }

    QCheckBox* m_loopback = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_copy = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_verdict = nullptr;
    QWidget* m_inputs = nullptr;
    std::array<QLabel*, 64> m_points{}; // coils, then inputs
    QTimer m_stepper;
    // Last: a test still running is brought to its end before the widgets go.
    std::unique_ptr<SelfTestSession> m_session;
};
