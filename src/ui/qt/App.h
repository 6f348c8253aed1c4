#pragma once

#include <QApplication>
#include <QTranslator>

// The application: one showing of the main window as a modal dialog, after which the
// process ends. There is no event loop of the application's own.
class App : public QApplication {
    Q_OBJECT

public:
    // Also installs Qt's own Simplified Chinese texts (qtbase_zh_CN.qm in Qt's translations
    // folder, Debian's qt6-translations-l10n) and gives every dialog, message box and menu
    // the main window's font families.
    App(int& argc, char** argv);

    // Whether Qt's own texts were found and installed; when not, they stay English.
    bool QtTextsTranslated() const { return m_qtTextsTranslated; }

    // Shows the main window modally and returns when it has closed, whichever way it
    // closed; the result is the process's exit status (0).
    int Run();

private:
    QTranslator m_qtTexts;
    bool m_qtTextsTranslated = false;
};
