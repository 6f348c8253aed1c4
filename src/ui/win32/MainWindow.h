#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>

#include <windows.h>

#include "dialog/IMainDialogView.h"
#include "dialog/MainDialog.h"
#include "ui/win32/ColorButton.h"

class IniSettingsStore;
class TimelineWindow;
class ToolsView;
class WindowTools;

// The main window as a plain Win32 modal dialog: a thin face of MainDialog. It builds its
// controls from the dialog template table, forwards clicks and timer ticks to MainDialog,
// runs the tasks posted to it, shows what MainDialog asks through IMainDialogView, and paints
// the 64 coil and input buttons. Texts cross to UTF-16 only here, at the window's edge.
class MainWindow : private IMainDialogView {
public:
    // Where the window keeps what it remembers between runs.
    struct Storage {
        std::string settingsFile; // empty: nothing remembered, no tools on the menus
        std::string logFolder;    // empty: no session log file
        // This user's: %APPDATA%\Vornak\vornak.ini and %LOCALAPPDATA%\Vornak\logs.
        static Storage ForUser();
    };

    explicit MainWindow(const Storage& storage = Storage());
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window modally until it closes: the end code, or -1 when it could not be made.
    INT_PTR DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int32_t id, int32_t code);
    void CreateIoButtons();
    // Sizes the window and every control for the work area of the monitor it is on and its
    // DPI (the layer's DialogScale rule), with the largest font at which every caption
    // shows whole, and centres the window in that work area.
    void FitToScreen(int32_t dpi, const RECT& workArea);
    void PlaceIoButtons();
    ColorButton* IoButton(int32_t id);
    HWND Item(int32_t id) const { return GetDlgItem(m_hWnd, id); }
    void DropPendingPosts();
    void ReleaseDialog();
    // The background's context menu at screen point (x, y): the same entries as the
    // system menu.
    void ShowContextMenu(int x, int y);

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

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HFONT m_font = nullptr; // the controls' font, chosen by FitToScreen
    // The template's controls in template order (the link statistics line last).
    std::vector<HWND> m_templateControls;
    std::array<ColorButton, 32> m_inputButtons;
    std::array<ColorButton, 32> m_coilButtons;
    // Combo boxes whose field the operator has typed into since their last selection.
    std::set<int32_t> m_typedCombos;
    std::unique_ptr<MainDialog> m_dialog;
    std::unique_ptr<IniSettingsStore> m_store;
    std::unique_ptr<ToolsView> m_toolsView;
    std::unique_ptr<WindowTools> m_tools;
    // Made when first shown; goes before the dialog, whose history it shows.
    std::unique_ptr<TimelineWindow> m_timeline;
};
