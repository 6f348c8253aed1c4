#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialog/MainDlgIds.h"
#include "ui/qt/ColorButton.h"
#include "ui/qt/LogPane.h"
#include "ui/qt/MainWindow.h"

// Small helpers shared by the main window's tests and the screenshot programs.
namespace testing_ui {

template <class T> T* Item(const MainWindow& dlg, int32_t id) {
    return qobject_cast<T*>(dlg.GetDlgItem(id));
}
// A click as the operator makes it: a check box toggles, then reports the click.
inline void Click(const MainWindow& dlg, int32_t id) {
    Item<QAbstractButton>(dlg, id)->click();
}
inline QString Text(const MainWindow& dlg, int32_t id) {
    return dlg.GetDlgItem(id)->property("text").toString();
}
// Selects the TCP link and aims it at this machine's port.
inline void AimTcp(const MainWindow& dlg, uint16_t port) {
    Click(dlg, IDC_USE_TCP);
    Item<QLineEdit>(dlg, IDC_TCP_SERVER)->setText(QStringLiteral("127.0.0.1"));
    Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(port));
}
// A dialog's push button with this caption; null when it has none.
inline QPushButton* Button(const QWidget* dialog, const char* caption) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == QString::fromUtf8(caption))
            return button;
    return nullptr;
}
// The lines of a log pane, oldest first.
inline QStringList PaneLines(const MainWindow& dlg, int32_t paneId) {
    const QString text = Item<LogPane>(dlg, paneId)->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
// What a button shows: its caption and the colour it is painted in, "5 ON #32ff32" (green)
// when connected and on.
inline QString Look(const MainWindow& dlg, int32_t id) {
    auto* button = Item<ColorButton>(dlg, id);
    return button->text() + ' ' + button->grab().toImage().pixelColor(2, 2).name();
}

} // namespace testing_ui
