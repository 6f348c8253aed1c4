// Saves pictures of the tools' dialogs as an operator sees them, against the board simulator
// over loopback TCP: the self-test with the loopback check on a board whose coil 7 is stuck
// (selftest.png), the board search that found the board at address 7 (board-search.png) and
// the link parameter form (link-parameters.png). Run by scripts/screenshot.
//
//   vornak_tools_screenshot OUTPUT_FOLDER

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "MainWindowTestSupport.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowTools.h"
#include "support/SimProcess.h"
#include "ui/qt/App.h"
#include "ui/qt/BoardSearchDialog.h"

using namespace testing_ui;

namespace {

// Opens a tool's dialog from the menu; `drive` runs inside it and returns its picture's name
// once the dialog shows what it should, or null when it does not.
bool Picture(MainWindow& dlg, int32_t command, const QDir& folder,
             const std::function<const char*(QWidget*)>& drive) {
    bool saved = false;
    QTimer::singleShot(0, &dlg, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        const char* name = dialog != nullptr ? drive(dialog) : nullptr;
        if (name != nullptr) {
            if (QWidget* focused = QApplication::focusWidget())
                focused->clearFocus();
            saved = dialog->grab().toImage().save(folder.filePath(QString::fromUtf8(name)));
            std::printf("saved %s\n", name);
        }
        if (dialog != nullptr) {
            dialog->close();
            // A tool still running is cancelled by the first close, the dialog by the next.
            QPushButton* start = Button(dialog, "开始");
            if (dialog->isVisible() && start != nullptr &&
                QTest::qWaitFor([&] { return start->isEnabled(); }, 20000))
                dialog->close();
        }
    });
    dlg.Dialog().OnMenuCommand(command);
    return saved;
}

int Fail(const char* why) {
    std::fprintf(stderr, "vornak_tools_screenshot: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    App app(argc, argv);
    if (argc != 2)
        return Fail("usage: vornak_tools_screenshot OUTPUT_FOLDER");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    SimProcess sim(VORNAK_SIM_PATH);
    if (!sim.Start(
            {"--tcp", "0", "--quiet", "--address", "7", "--inputs", "mirror", "--stuck", "7"}))
        return Fail("the simulator did not start");

    QTemporaryDir storage;
    MainWindow dlg(nullptr, QSize(1920, 1040),
                   {storage.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
    dlg.show();
    AimTcp(dlg, sim.TcpPort());

    // Every protocol: the picture shows the search running, the board found and what is
    // asked now.
    const bool searched = Picture(dlg, WindowTools::IDM_FIND_BOARD, folder, [](QWidget* d) {
        Button(d, "开始")->click();
        auto* found = d->findChild<QListWidget*>();
        auto* search = qobject_cast<BoardSearchDialog*>(d);
        auto* status =
            search != nullptr ? search->Control<QLabel>(ToolDialogs::IDC_SEARCH_STATUS) : nullptr;
        const bool asking = QTest::qWaitFor(
            [&] {
                return found->count() == 1 && status != nullptr &&
                       status->text().contains(QStringLiteral("地址 12 "));
            },
            20000);
        return asking ? "board-search.png" : nullptr;
    });
    if (!searched)
        return Fail("the board search found nothing");
    Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->setCurrentIndex(7);
    dlg.Dialog().OnComboChange(IDC_ADDRESS_COMBO);
    Click(dlg, IDC_TCP_CONNECT);
    if (!QTest::qWaitFor([&] { return Text(dlg, IDC_TCP_STATUS) == QStringLiteral("已连接"); },
                         10000))
        return Fail("the window did not connect");

    const bool tested = Picture(dlg, WindowTools::IDM_SELF_TEST, folder, [](QWidget* d) {
        d->findChild<QCheckBox*>()->setChecked(true);
        Button(d, "开始")->click();
        if (!QTest::qWaitFor([&] { return Button(d, "开始")->isEnabled(); }, 60000))
            return static_cast<const char*>(nullptr);
        return "selftest.png";
    });
    if (!tested)
        return Fail("the self-test did not end");

    const bool formed = Picture(dlg, WindowTools::IDM_LINK_PARAMETERS, folder, [](QWidget* d) {
        d->findChildren<QLineEdit*>()[0]->setText(QStringLiteral("5"));
        // A refused value shows what is wrong in the form.
        Button(d, "确定")->click();
        return "link-parameters.png";
    });
    return formed ? 0 : Fail("the link parameter form did not show");
}
