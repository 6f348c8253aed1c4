// The Windows program: prepares the common controls and shows the main window modally;
// the process ends when it closes.
#include <windows.h>

#include <commctrl.h>

#include "ui/win32/MainWindow.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    MainWindow dialog(MainWindow::Storage::ForUser());
    dialog.DoModal();
    return 0;
}
