#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyleFactory>

#include "ui/CColorButton.h"
#include "ui/CLogPane.h"
#include "ui/CMainDlg.h"
#include "ui/MainDlgIds.h"

// Small helpers shared by the main window's tests.
namespace testing_ui {

// The style the application itself uses, so that layout checks measure what users see.
inline void UseApplicationStyle() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

template <class T> T* Item(const CMainDlg& dlg, int32_t id) {
    return qobject_cast<T*>(dlg.GetDlgItem(id));
}

inline CColorButton* Coil(const CMainDlg& dlg, int i) {
    return Item<CColorButton>(dlg, IDC_COIL_BASE + i);
}
inline CColorButton* Input(const CMainDlg& dlg, int i) {
    return Item<CColorButton>(dlg, IDC_INPUT_BASE + i);
}

// The lines of a log pane, oldest first; empty for an empty pane.
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

// Lines that start with prefix.
inline int CountPrefixed(const QStringList& lines, const QString& prefix) {
    int n = 0;
    for (const QString& line : lines)
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

// Delivers every posted event, including those that handlers post in turn (a device log
// line travels twice through the queue).
inline void DeliverPosted() {
    for (int round = 0; round < 8; ++round)
        QCoreApplication::sendPostedEvents();
}

inline QString StatusText(const CMainDlg& dlg, int32_t labelId) {
    return Item<QLabel>(dlg, labelId)->text();
}

// A click as the operator makes it: an auto check box toggles, then reports the click.
inline void Click(const CMainDlg& dlg, int32_t id) {
    Item<QAbstractButton>(dlg, id)->click();
}

} // namespace testing_ui
