#include "ui/qt/App.h"

#include <QStyleFactory>

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
}

int App::Run() {
    MainWindow dialog(nullptr, QSize(), MainWindow::Storage::ForUser());
    dialog.exec();
    return 0;
}
