#pragma once

#include <QDialog>
#include <QHash>

#include <cstdint>
#include <memory>
#include <string>

#include "dialog/IMainDialogView.h"
#include "dialog/MainDialog.h"
#include "ui/qt/DialogUnits.h"

class ToolsView;
class QComboBox;
class QtSettingsStore;
class TimelineWindow;
class WindowTools;

// The main window on Qt Widgets: builds the template's controls and the 64 coil and input
// buttons, forwards clicks, keys and timer ticks to its MainDialog, runs the tasks posted to
// it, and shows what that asks through IMainDialogView. What the window does is MainDialog's;
// this class only lays out, paints and translates.
class MainWindow : public QDialog, private IMainDialogView {
    Q_OBJECT

public:
    // Where the window keeps its remembered settings and its session log (UTF-8 paths).
    struct Storage {
        std::string settingsFile; // empty: nothing remembered, no tools on the menu
        std::string logFolder;    // empty: no session log file
        // This user's: the settings in the user's configuration folder, the log in the
        // user's state folder.
        static Storage ForUser();
    };

    // Lays the window out for the given available screen area (the primary screen's when
    // empty), shrunk to fit a small screen, and runs the start-up, with the settings
    // remembered in storage. Connects nothing.
    explicit MainWindow(QWidget* parent = nullptr, QSize availableArea = QSize(),
                        const Storage& storage = Storage());
    ~MainWindow() override;

    // The control with the given template ID (2100 + i input buttons, 2200 + i coil buttons);
    // null for an unknown or unnamed one.
    QWidget* GetDlgItem(int32_t id) const;
    MainDialog& Dialog() { return m_dialog; }
    // The point timeline window; null until it is first shown.
    TimelineWindow* Timeline() const { return m_timeline.get(); }
    const DialogUnits& Units() const { return m_units; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    void CreateIoButtons();
    QComboBox* Combo(int32_t id) const;

    // IMainDialogView.
    void SetTitle(const std::string& text) override;
    void SetText(int32_t id, const std::string& text) override;
    std::string GetText(int32_t id) override;
    void SetCheck(int32_t id, bool checked) override;
    bool GetCheck(int32_t id) override;
    void Enable(int32_t id, bool enabled) override;
    void SetComboItems(int32_t id, const std::vector<std::string>& items) override;
    void SelectComboItem(int32_t id, int32_t index) override;
    int32_t GetComboSelection(int32_t id) override;
    void SetButtonLook(int32_t id, const std::string& caption, Rgb background, Rgb text) override;
    void AppendLine(int32_t paneId, const std::string& line) override;
    void DropOldestLines(int32_t paneId, int32_t count) override;
    void StartTimer(int32_t timerId, int32_t intervalMs) override;
    void StopTimer(int32_t timerId) override;
    void Post(std::function<void()> task) override;
    void ShowAboutBox(const AboutBoxTexts& texts) override;
    void ShowTimeline() override;
    void Close() override;

    DialogUnits m_units;
    // Controls by template ID; the widgets are owned by the dialog as its children.
    QHash<int32_t, QWidget*> m_items;
    // Qt's timer ID by window timer ID, for the running ones.
    QHash<int32_t, int> m_timers;
    // The tools (remembered settings, session log) when the window has storage; they go
    // after the dialog.
    std::unique_ptr<QtSettingsStore> m_store;
    std::unique_ptr<ToolsView> m_toolsView;
    std::unique_ptr<WindowTools> m_tools;
    // Last: it disconnects its Device when destroyed, before the controls go.
    MainDialog m_dialog;
    // After the dialog, so it goes first: it shows the dialog's history.
    std::unique_ptr<TimelineWindow> m_timeline;
};
