#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/CColorButton.h"
#include "ui/CLogPane.h"
#include "ui/CMainDlg.h"
#include "ui/MainDlgIds.h"

// Small helpers shared by the main window's tests and the screenshot program.
namespace testing_ui {

template <class T> T* Item(const CMainDlg& dlg, int32_t id) {
    return qobject_cast<T*>(dlg.GetDlgItem(id));
}
inline CColorButton* Coil(const CMainDlg& dlg, int i) {
    return Item<CColorButton>(dlg, IDC_COIL_BASE + i);
}
inline CColorButton* Input(const CMainDlg& dlg, int i) {
    return Item<CColorButton>(dlg, IDC_INPUT_BASE + i);
}
inline QString StatusText(const CMainDlg& dlg, int32_t labelId) {
    return Item<QLabel>(dlg, labelId)->text();
}
// A click as the operator makes it: a check box toggles, then reports the click.
inline void Click(const CMainDlg& dlg, int32_t id) {
    Item<QAbstractButton>(dlg, id)->click();
}

// The lines of a log pane, oldest first.
inline QStringList PaneLines(const CMainDlg& dlg, int32_t paneId) {
    const QString text = Item<CLogPane>(dlg, paneId)->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
inline QStringList SendLines(const CMainDlg& dlg) {
    return PaneLines(dlg, IDC_SEND_LOG);
}
inline QStringList RecvLines(const CMainDlg& dlg) {
    return PaneLines(dlg, IDC_RECV_LOG);
}
// Every button usable and showing "n\n---" in the not-connected colours.
inline bool AllGrey(const CMainDlg& dlg) {
    for (int i = 0; i < 64; ++i) {
        const CColorButton* b = i < 32 ? Coil(dlg, i) : Input(dlg, i - 32);
        if (b->text() != QString("%1\n---").arg(i % 32) || !b->isEnabled() ||
            b->CurrentBkColor() != QColor(241, 241, 0) ||
            b->CurrentTextColor() != QColor(128, 128, 128))
            return false;
    }
    return true;
}

// One character per control: '1' where the check box is ticked (with usable: where the
// control is usable).
inline QString Flags(const CMainDlg& dlg, std::initializer_list<int32_t> ids, bool usable = false) {
    QString flags;
    for (int32_t id : ids)
        flags += QString::number(usable ? dlg.GetDlgItem(id)->isEnabled()
                                        : Item<QCheckBox>(dlg, id)->isChecked());
    return flags;
}

// Delivers every posted event, also those posted in turn (device lines travel twice).
inline void DeliverPosted() {
    for (int round = 0; round < 8; ++round)
        QCoreApplication::sendPostedEvents();
}

} // namespace testing_ui
