// The application's start-up: Qt's own texts (the file chooser, the edits' context menus)
// speak the window's language, and one face serves the window, its dialogs and menus.

#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>

#include <memory>

#include "ui/qt/App.h"
#include "ui/qt/MainWindow.h"

class AppTest : public QObject {
    Q_OBJECT

private slots:
    void qtTextsAreChineseAndOneFaceServesAll() {
        auto* app = qobject_cast<App*>(QCoreApplication::instance());
        QVERIFY(app != nullptr && app->QtTextsTranslated());
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QCOMPARE(menu->actions().value(4)->text(), QStringLiteral("复制(&C)\tCtrl+C"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
                 QStringLiteral("查找范围："));
        MainWindow window;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("板卡自检"),
                        QStringLiteral("错误: 设备未连接"));
        const QString face = QFontInfo(window.font()).family();
        QCOMPARE(QFontInfo(box.font()).family(), face);
        QCOMPARE(QFontInfo(menu->font()).family(), face);
    }
};

int main(int argc, char** argv) {
    App app(argc, argv);
    AppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppTest.moc"
