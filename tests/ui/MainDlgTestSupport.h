#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "dialog/MainDlgIds.h"
#include "ui/CColorButton.h"
#include "ui/CLogPane.h"
#include "ui/CMainDlg.h"

// Small helpers shared by the main window's tests and the screenshot program.
namespace testing_ui {

template <class T> T* Item(const CMainDlg& dlg, int32_t id) {
    return qobject_cast<T*>(dlg.GetDlgItem(id));
}
// A click as the operator makes it: a check box toggles, then reports the click.
inline void Click(const CMainDlg& dlg, int32_t id) {
    Item<QAbstractButton>(dlg, id)->click();
}
inline QString Text(const CMainDlg& dlg, int32_t id) {
    return dlg.GetDlgItem(id)->property("text").toString();
}
// The lines of a log pane, oldest first.
inline QStringList PaneLines(const CMainDlg& dlg, int32_t paneId) {
    const QString text = Item<CLogPane>(dlg, paneId)->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
// What a button shows: "5 ON #32ff32" (green) when connected and on.
inline QString Look(const CMainDlg& dlg, int32_t id) {
    const auto* button = Item<CColorButton>(dlg, id);
    return button->text() + ' ' + button->CurrentBkColor().name();
}

} // namespace testing_ui
