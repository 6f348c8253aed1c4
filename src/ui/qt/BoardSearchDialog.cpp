#include "ui/qt/BoardSearchDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "dialog/ToolDialogs.h"

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

BoardSearchDialog::BoardSearchDialog(WindowTools& tools, QWidget* parent)
    : DescribedDialog(ToolDialogs::BoardSearch(), parent) {
    Control<QCheckBox>(ToolDialogs::IDC_SEARCH_ALL_PROTOCOLS)->setChecked(true);
    IBoardSearchView& view = *this;
    m_session = std::make_unique<BoardSearchSession>(tools, view);
    connect(Control<QPushButton>(ToolDialogs::IDC_SEARCH_START), &QPushButton::clicked, this,
            [this] {
                m_session->Start(
                    Control<QCheckBox>(ToolDialogs::IDC_SEARCH_ALL_PROTOCOLS)->isChecked(),
                    Control<QCheckBox>(ToolDialogs::IDC_SEARCH_ALL_LINE_SETTINGS)->isChecked());
            });
    connect(Control<QPushButton>(ToolDialogs::IDC_SEARCH_CANCEL), &QPushButton::clicked, this,
            [this] { m_session->Cancel(); });
    connect(Control<QPushButton>(ToolDialogs::IDC_SEARCH_USE), &QPushButton::clicked, this,
            &BoardSearchDialog::UseChosen);
    connect(Control<QListWidget>(ToolDialogs::IDC_SEARCH_FOUND), &QListWidget::itemDoubleClicked,
            this, &BoardSearchDialog::UseChosen);
}

void BoardSearchDialog::UseChosen() {
    const int row = Control<QListWidget>(ToolDialogs::IDC_SEARCH_FOUND)->currentRow();
    if (ToolDialogs::MayChoose(row, m_session->Running()) &&
        m_session->Choose(static_cast<size_t>(row)))
        accept();
}

void BoardSearchDialog::ClearFound() {
    Control<QListWidget>(ToolDialogs::IDC_SEARCH_FOUND)->clear();
}

void BoardSearchDialog::AddFound(const std::string& text) {
    auto* found = Control<QListWidget>(ToolDialogs::IDC_SEARCH_FOUND);
    found->addItem(Text(text));
    if (found->currentRow() < 0)
        found->setCurrentRow(0);
}

void BoardSearchDialog::SetFound(size_t row, const std::string& text) {
    auto* found = Control<QListWidget>(ToolDialogs::IDC_SEARCH_FOUND);
    if (QListWidgetItem* item = found->item(static_cast<int>(row)))
        item->setText(Text(text));
}

void BoardSearchDialog::ShowProgress(int64_t done, int64_t total) {
    // A progress bar counts in int: scale a long search down to per mille.
    auto* progress = Control<QProgressBar>(ToolDialogs::IDC_SEARCH_PROGRESS);
    progress->setRange(0, 1000);
    progress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void BoardSearchDialog::ShowStatus(const std::string& text) {
    Control<QLabel>(ToolDialogs::IDC_SEARCH_STATUS)->setText(Text(text));
}
