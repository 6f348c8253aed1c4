#include "ui/qt/App.h"

#include <QLibraryInfo>
#include <QStyleFactory>

#include "ui/qt/DialogUnits.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/VornakIcon.h"

App::App(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Vornak"));
    setApplicationVersion(QStringLiteral("1.0"));
    setDesktopFileName(QStringLiteral("vornak"));
    // The window is laid out in fixed pixels; one style everywhere keeps its indicator
    // and frame sizes those the layout was checked with.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        setStyle(fusion);
    setWindowIcon(VornakIcon());
    // The file chooser and the edits' context menus are Qt's: in the window's language too.
    m_qtTextsTranslated = m_qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                          installTranslator(&m_qtTexts);
    // One face everywhere: the tool dialogs, message boxes and menus take the window's.
    QFont font = QApplication::font();
    font.setFamilies(DialogUnits::FontFamilies());
    setFont(font);
}

int App::Run() {
    MainWindow dialog(nullptr, QSize(), MainWindow::Storage::ForUser());
    dialog.exec();
    return 0;
}
