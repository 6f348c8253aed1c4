#pragma once

#include <QApplication>

// The application: one showing of the main window as a modal dialog, after which the
// process ends. There is no event loop of the application's own.
class App : public QApplication {
    Q_OBJECT

public:
    App(int& argc, char** argv);

    // Shows the main window modally and returns when it has closed, whichever way it
    // closed; the result is the process's exit status (0).
    int Run();
};
