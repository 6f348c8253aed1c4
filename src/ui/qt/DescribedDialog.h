#pragma once

#include <QDialog>
#include <QHash>

#include <array>
#include <cstdint>

#include "dialog/DialogDescription.h"

class QLabel;

// A dialog of the layer's description rendered with Qt: each row a horizontal layout, each
// control the widget of its kind, sized by Qt's own metrics. Esc and the close box follow
// the description's rule (close, or cancel the running tool); a subclass says whether a
// tool runs and how to cancel it, and connects the buttons it needs.
class DescribedDialog : public QDialog {
    Q_OBJECT

public:
    DescribedDialog(const DialogDescription& description, QWidget* parent);

    // The control with that identifier; nullptr when there is none or it is not a T.
    template <typename T = QWidget> T* Control(int32_t id) const {
        return qobject_cast<T*>(m_controls.value(id, nullptr));
    }
    // Cell index (0..31) of the point grid gridId; nullptr when there is none.
    QLabel* Cell(int32_t gridId, int32_t index) const;

public slots:
    void reject() override;

protected:
    // Enables the run-dependent controls as the description says for running.
    void ShowRunningState(bool running);
    virtual bool ToolRunning() const { return false; }
    virtual void CancelTool() {}

private:
    QWidget* Create(const DialogControl& control);

    DialogDescription m_description;
    QHash<int32_t, QWidget*> m_controls;
    QHash<int32_t, std::array<QLabel*, 32>> m_cells;
};
