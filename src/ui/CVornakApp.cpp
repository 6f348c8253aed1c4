#include "ui/CVornakApp.h"

#include <QStyleFactory>

#include "ui/CMainDlg.h"
#include "ui/VornakIcon.h"

CVornakApp::CVornakApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Vornak"));
    setApplicationVersion(QStringLiteral("1.0"));
    setDesktopFileName(QStringLiteral("vornak"));
    // The window is laid out in fixed pixels; one style everywhere keeps its indicator
    // and frame sizes those the layout was checked with.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        setStyle(fusion);
    setWindowIcon(VornakIcon());
}

int CVornakApp::InitInstance() {
    CMainDlg dialog(nullptr, QSize(), CMainDlg::Storage::ForUser());
    dialog.exec();
    return 0;
}
