#include "ui/qt/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>

#include "dialog/IoButtonGrid.h"
#include "dialog/MainDlgIds.h"
#include "dialog/MainDlgTemplate.h"
#include "dialog/UserFolders.h"
#include "dialog/WindowTools.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/CaptionFont.h"
#include "ui/qt/ColorButton.h"
#include "ui/qt/LogPane.h"
#include "ui/qt/PostedEvent.h"
#include "ui/qt/QtSettingsStore.h"
#include "ui/qt/TimelineWindow.h"
#include "ui/qt/ToolsView.h"
#include "ui/qt/VornakIcon.h"

namespace {

// A combo box shows one line when closed; the template's height is that of its open list.
constexpr int32_t kComboClosedHeightDlu = 14;

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QColor Color(Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

QSize AvailableArea(QSize given) {
    if (!given.isEmpty())
        return given;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().size() : QSize();
}

QFont DialogTextFont(const DialogUnits& units) {
    return CaptionFont(units.DialogFont(), units, MainDlgTemplate::kItems.data(),
                       static_cast<int>(MainDlgTemplate::kItems.size()));
}

PixelRect ToPixelRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

} // namespace

MainWindow::Storage MainWindow::Storage::ForUser() {
    Storage storage;
    const std::string settingsFolder = UserFolders::SettingsFolder();
    if (!settingsFolder.empty())
        storage.settingsFile = settingsFolder + "/vornak.conf";
    storage.logFolder = UserFolders::SessionLogFolder();
    return storage;
}

MainWindow::MainWindow(QWidget* parent, QSize availableArea, const Storage& storage)
    : QDialog(parent),
      m_units(FitDialogUnits(QSize(MainDlgTemplate::kWidth, MainDlgTemplate::kHeight),
                             AvailableArea(availableArea), MainDlgTemplate::kItems.data(),
                             static_cast<int>(MainDlgTemplate::kItems.size()))),
      m_dialog(*this) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(VornakIcon());
    setFont(DialogTextFont(m_units));
    setFixedSize(m_units.ToPixels(QSize(MainDlgTemplate::kWidth, MainDlgTemplate::kHeight)));
    CreateControls();
    CreateIoButtons();

    // Linux window managers offer no system menu an application can extend, so the menu's
    // entries are on the background's context menu (contextMenuEvent), the about box on F1.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, [this] { m_dialog.OnMenuCommand(IDM_ABOUTBOX); });

    if (!storage.settingsFile.empty()) {
        m_store = std::make_unique<QtSettingsStore>(storage.settingsFile);
        m_toolsView = std::make_unique<ToolsView>(this);
        IMainDialogView& view = *this;
        m_tools = std::make_unique<WindowTools>(m_dialog, view, *m_toolsView, *m_store,
                                                storage.logFolder);
        m_dialog.SetTools(m_tools.get());
    }
    m_dialog.OnInitDialog();
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::GetDlgItem(int32_t id) const {
    return m_items.value(id, nullptr);
}

QComboBox* MainWindow::Combo(int32_t id) const {
    return qobject_cast<QComboBox*>(GetDlgItem(id));
}

// Creates the template's controls in template order, so that the focus chain (the tab order)
// and the stacking follow the template: a frame lies below the controls it holds.
void MainWindow::CreateControls() {
    for (const DlgItem& item : MainDlgTemplate::kItems) {
        const QString caption = QString::fromUtf8(item.caption);
        QRect rect = m_units.ToPixels(QRect(item.x, item.y, item.width, item.height));
        QWidget* widget = nullptr;
        switch (item.kind) {
        case DlgItemKind::GroupBox: {
            auto* box = new QGroupBox(caption, this);
            // A frame never takes the clicks meant for the controls inside or behind it.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = box;
            break;
        }
        case DlgItemKind::Label: {
            auto* label = new QLabel(caption, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case DlgItemKind::PushButton: {
            auto* button = new QPushButton(caption, this);
            // Enter must not press a focused button: only Space and clicks do.
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case DlgItemKind::CheckBox:
            widget = new QCheckBox(caption, this);
            break;
        case DlgItemKind::Edit:
            widget = new QLineEdit(caption, this);
            break;
        case DlgItemKind::LogPane: {
            auto* pane = new LogPane(this);
            pane->setTabChangesFocus(true);
            widget = pane;
            break;
        }
        case DlgItemKind::EditCombo:
        case DlgItemKind::ListCombo: {
            auto* combo = new QComboBox(this);
            if (item.kind == DlgItemKind::EditCombo) {
                combo->setEditable(true);
                // Typed text is a value, not a new list entry, and is not completed.
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setCompleter(nullptr);
            }
            rect.setHeight(m_units.ToPixelsY(kComboClosedHeightDlu));
            widget = combo;
            break;
        }
        }
        widget->setGeometry(rect);
        if (!item.tabStop) {
            widget->setFocusPolicy(widget->focusPolicy() == Qt::NoFocus ? Qt::NoFocus
                                                                        : Qt::ClickFocus);
        }
        if (item.id == IDC_STATIC)
            continue;
        widget->setObjectName(QString::number(item.id));
        m_items.insert(item.id, widget);
        const int32_t id = item.id;
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { m_dialog.OnCommand(id); });
    }

    // The link statistics line, in the free strip below the log group box.
    auto* statistics = new QLabel(this);
    statistics->setTextFormat(Qt::PlainText);
    statistics->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    statistics->setGeometry(m_units.ToPixels(
        QRect(kLinkStatsRect[0], kLinkStatsRect[1], kLinkStatsRect[2], kLinkStatsRect[3])));
    statistics->setObjectName(QString::number(IDC_LINK_STATS));
    m_items.insert(IDC_LINK_STATS, statistics);

    // The address follows both a choice from the list and every edit of the typed text.
    QComboBox* address = Combo(IDC_ADDRESS_COMBO);
    connect(address, &QComboBox::activated, this,
            [this] { m_dialog.OnComboChange(IDC_ADDRESS_COMBO); });
    connect(address->lineEdit(), &QLineEdit::textEdited, this,
            [this] { m_dialog.OnComboChange(IDC_ADDRESS_COMBO); });
}

void MainWindow::CreateIoButtons() {
    QWidget* inputBox = GetDlgItem(IDC_GROUP_INPUTS);
    QWidget* coilBox = GetDlgItem(IDC_GROUP_COILS);
    if (inputBox == nullptr || coilBox == nullptr)
        return;
    const IoButtonGrid grid(ToPixelRect(inputBox->geometry()));
    for (const auto& [box, firstId] :
         {std::pair{inputBox, IDC_INPUT_BASE}, {coilBox, IDC_COIL_BASE}}) {
        for (int32_t i = 0; i < kIoPointCount; ++i) {
            const PixelRect cell = grid.Cell(ToPixelRect(box->geometry()), i);
            auto* button = new ColorButton(this);
            button->setGeometry(cell.x, cell.y, cell.width, cell.height);
            // Not a tab stop, and Enter never presses it.
            button->setFocusPolicy(Qt::ClickFocus);
            button->setAutoDefault(false);
            button->SetCornerRadius(3);
            const int32_t id = firstId + i;
            button->setObjectName(QString::number(id));
            m_items.insert(id, button);
            connect(button, &QPushButton::clicked, this, [this, id] { m_dialog.OnCommand(id); });
        }
    }
}

void MainWindow::SetTitle(const std::string& text) {
    setWindowTitle(Text(text));
}

void MainWindow::SetText(int32_t id, const std::string& text) {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(Text(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(Text(text));
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(Text(text));
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setEditText(Text(text));
}

std::string MainWindow::GetText(int32_t id) {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return Utf8(label->text());
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return Utf8(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return Utf8(button->text());
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return Utf8(combo->currentText());
    if (auto* pane = qobject_cast<QPlainTextEdit*>(widget))
        return Utf8(pane->toPlainText());
    return {};
}

void MainWindow::SetCheck(int32_t id, bool checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        box->setChecked(checked);
}

bool MainWindow::GetCheck(int32_t id) {
    auto* box = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return box != nullptr && box->isChecked();
}

void MainWindow::Enable(int32_t id, bool enabled) {
    if (QWidget* widget = GetDlgItem(id))
        widget->setEnabled(enabled);
}

void MainWindow::SetComboItems(int32_t id, const std::vector<std::string>& items) {
    QComboBox* combo = Combo(id);
    if (combo == nullptr)
        return;
    QStringList texts;
    for (const std::string& item : items)
        texts << Text(item);
    combo->clear();
    combo->addItems(texts);
    combo->setCurrentIndex(-1);
}

void MainWindow::SelectComboItem(int32_t id, int32_t index) {
    if (QComboBox* combo = Combo(id))
        combo->setCurrentIndex(index);
}

int32_t MainWindow::GetComboSelection(int32_t id) {
    QComboBox* combo = Combo(id);
    if (combo == nullptr)
        return -1;
    const int index = combo->currentIndex();
    // Typing into an editable combo leaves Qt's index where it was; the typed text counts.
    if (index >= 0 && combo->isEditable() && combo->itemText(index) != combo->currentText())
        return -1;
    return index;
}

void MainWindow::SetButtonLook(int32_t id, const std::string& caption, Rgb background, Rgb text) {
    auto* button = qobject_cast<ColorButton*>(GetDlgItem(id));
    if (button == nullptr)
        return;
    button->SetNormalColors(Color(background), Color(text));
    button->SetHoverColors(Color(background), Color(text));
    button->SetPressedColors(Color(background), Color(text));
    button->setText(Text(caption));
}

void MainWindow::AppendLine(int32_t paneId, const std::string& line) {
    if (auto* pane = qobject_cast<LogPane*>(GetDlgItem(paneId)))
        pane->AppendLine(Text(line));
}

void MainWindow::DropOldestLines(int32_t paneId, int32_t count) {
    if (auto* pane = qobject_cast<LogPane*>(GetDlgItem(paneId)))
        pane->DropOldestLines(count);
}

void MainWindow::StartTimer(int32_t timerId, int32_t intervalMs) {
    StopTimer(timerId);
    const int qtId = startTimer(intervalMs, Qt::PreciseTimer);
    if (qtId != 0)
        m_timers.insert(timerId, qtId);
}

void MainWindow::StopTimer(int32_t timerId) {
    const auto running = m_timers.find(timerId);
    if (running == m_timers.end())
        return;
    killTimer(running.value());
    m_timers.erase(running);
}

void MainWindow::timerEvent(QTimerEvent* event) {
    const int32_t timerId = m_timers.key(event->timerId(), 0);
    if (timerId != 0)
        m_dialog.OnTimer(timerId);
    else
        QDialog::timerEvent(event);
}

// Any thread: Qt's event queue takes posts from every thread, and drops what is left of them
// when the window goes.
void MainWindow::Post(std::function<void()> task) {
    QCoreApplication::postEvent(this, new PostedEvent(std::move(task)));
}

void MainWindow::customEvent(QEvent* event) {
    if (event->type() == PostedEvent::Type())
        static_cast<const PostedEvent*>(event)->Run();
    else
        QDialog::customEvent(event);
}

void MainWindow::ShowAboutBox(const AboutBoxTexts& texts) {
    AboutDialog about(texts, this);
    about.exec();
}

void MainWindow::ShowTimeline() {
    if (!m_timeline)
        m_timeline = std::make_unique<TimelineWindow>(m_dialog, this);
    m_timeline->show();
    m_timeline->raise();
    m_timeline->activateWindow();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // Reached only for the background: the edits and panes keep their own menus.
    QMenu menu(this);
    for (const MenuEntry& entry : m_dialog.MenuEntries()) {
        const int32_t command = entry.command;
        if (command == 0) {
            menu.addSeparator();
            continue;
        }
        menu.addAction(Text(entry.text), this,
                       [this, command] { m_dialog.OnMenuCommand(command); });
    }
    menu.exec(event->globalPos());
}

void MainWindow::accept() {
    m_dialog.OnOK();
}

// Esc and the close box.
void MainWindow::reject() {
    m_dialog.OnCancel();
}

void MainWindow::Close() {
    QDialog::reject();
}
