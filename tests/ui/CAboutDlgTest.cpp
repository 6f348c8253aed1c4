#include "ui/CAboutDlg.h"
#include "ui/DialogUnits.h"
#include "ui/VornakIcon.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class CAboutDlgTest : public QObject {
    Q_OBJECT

private slots:
    void dialogUnits_data() {
        QTest::addColumn<QRect>("dlu");
        QTest::addColumn<QRect>("pixels");
        // 14 pt at 96 dpi is an em of 18.67 px; a unit is a quarter of half an em across and an
        // eighth of an em down, 2.33 px both ways, and each value is rounded by itself.
        QTest::newRow("one unit") << QRect(1, 1, 1, 1) << QRect(2, 2, 2, 2);
        QTest::newRow("version text") << QRect(42, 14, 114, 8) << QRect(98, 33, 266, 19);
        QTest::newRow("ok button") << QRect(113, 41, 50, 14) << QRect(264, 96, 117, 33);
        QTest::newRow("main dialog") << QRect(0, 0, 617, 424) << QRect(0, 0, 1440, 989);
    }

    void dialogUnits() {
        QFETCH(QRect, dlu);
        QFETCH(QRect, pixels);
        QCOMPARE(DialogUnits::ToPixels(dlu), pixels);
        QCOMPARE(DialogUnits::ToPixels(dlu.size()), pixels.size());
    }

    void iconHasEverySize() {
        const QIcon icon = VornakIcon();
        for (int size : {16, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                     qPrintable(QString::number(size)));
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255); // drawn, not blank
        }
    }

    void showsNameVersionAndIcon() {
        CAboutDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("关于 Vornak"));
        QCOMPARE(dialog.VersionLabel()->text(), QStringLiteral("Vornak，版本 1.0"));
        QVERIFY(dialog.CopyrightLabel()->text().startsWith(QStringLiteral("Copyright (C) 20")));
        QCOMPARE(dialog.OkButton()->text(), QStringLiteral("确定"));
        QCOMPARE(dialog.IconLabel()->pixmap().size(), QSize(32, 32));
        QCOMPARE(dialog.size(), QSize(397, 145));
        for (QWidget* child : dialog.findChildren<QWidget*>())
            QVERIFY(dialog.rect().contains(child->geometry()));
    }

    void okAndEscapeEndIt_data() {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("result");
        QTest::newRow("ok") << false << int(QDialog::Accepted);
        QTest::newRow("escape") << true << int(QDialog::Rejected);
    }

    void okAndEscapeEndIt() {
        QFETCH(bool, escape);
        QFETCH(int, result);
        CAboutDlg dialog;
        QTimer::singleShot(0, &dialog, [&dialog, escape] {
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::keyClick(&dialog, Qt::Key_Return); // the default button is OK
        });
        QCOMPARE(dialog.exec(), result);
    }
};

QTEST_MAIN(CAboutDlgTest)
#include "CAboutDlgTest.moc"
