#include "ui/qt/DescribedDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/VornakIcon.h"

namespace {

constexpr int32_t kGridColumns = 8;

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

DescribedDialog::DescribedDialog(const DialogDescription& description, QWidget* parent)
    : QDialog(parent), m_description(description) {
    setWindowTitle(Text(description.caption));
    setWindowIcon(VornakIcon());
    auto* layout = new QVBoxLayout(this);
    for (const DialogRow& row : description.rows) {
        auto* line = new QHBoxLayout;
        if (row.alignRight)
            line->addStretch(1);
        bool stretched = row.alignRight;
        for (const DialogControl& control : row.controls) {
            QWidget* widget = Create(control);
            line->addWidget(widget, control.percent);
            stretched = stretched || control.percent > 0;
        }
        if (!stretched)
            line->addStretch(1);
        layout->addLayout(line);
    }
    // An em is the width of a CJK character in the dialog's font.
    setMinimumWidth(description.minWidthEm * fontMetrics().horizontalAdvance(QChar(0x4E2D)));
}

QWidget* DescribedDialog::Create(const DialogControl& control) {
    const QString text = Text(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case DialogControlKind::Text: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(control.percent > 0);
        widget = label;
        break;
    }
    case DialogControlKind::Edit:
        widget = new QLineEdit(text, this);
        break;
    case DialogControlKind::CheckBox:
        widget = new QCheckBox(text, this);
        break;
    case DialogControlKind::Button: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        button->setDefault(control.id == m_description.defaultButton);
        widget = button;
        break;
    }
    case DialogControlKind::List: {
        auto* list = new QListWidget(this);
        const int line = fontMetrics().height();
        list->setMinimumSize(24 * fontMetrics().horizontalAdvance(QChar(0x4E2D)), 8 * line);
        widget = list;
        break;
    }
    case DialogControlKind::Progress:
        widget = new QProgressBar(this);
        break;
    case DialogControlKind::PointGrid: {
        auto* box = new QGroupBox(text, this);
        auto* grid = new QGridLayout(box);
        grid->setSpacing(2);
        std::array<QLabel*, 32> cells{};
        const QSize cellSize(fontMetrics().horizontalAdvance(QStringLiteral("000")) + 8,
                             fontMetrics().height() + 6);
        for (int32_t i = 0; i < 32; ++i) {
            auto* cell = new QLabel(QString::number(i), box);
            cell->setAlignment(Qt::AlignCenter);
            cell->setMinimumSize(cellSize);
            cell->setAutoFillBackground(true);
            grid->addWidget(cell, i / kGridColumns, i % kGridColumns);
            cells[static_cast<size_t>(i)] = cell;
        }
        m_cells.insert(control.id, cells);
        widget = box;
        break;
    }
    case DialogControlKind::Icon: {
        auto* icon = new QLabel(this);
        icon->setPixmap(VornakIcon().pixmap(32, 32));
        widget = icon;
        break;
    }
    }
    if (control.id > 0)
        m_controls.insert(control.id, widget);
    return widget;
}

QLabel* DescribedDialog::Cell(int32_t gridId, int32_t index) const {
    const auto cells = m_cells.find(gridId);
    if (cells == m_cells.end() || index < 0 || index >= 32)
        return nullptr;
    return (*cells)[static_cast<size_t>(index)];
}

void DescribedDialog::reject() {
    if (DialogDescription::EscapeCloses(ToolRunning()))
        QDialog::reject();
    else
        CancelTool();
}

void DescribedDialog::ShowRunningState(bool running) {
    for (int32_t id : m_description.RunDependent()) {
        if (QWidget* widget = Control(id))
            widget->setEnabled(m_description.EnabledWhile(id, running));
    }
}
