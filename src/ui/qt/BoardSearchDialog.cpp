#include "ui/qt/BoardSearchDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

BoardSearchDialog::BoardSearchDialog(WindowTools& tools, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("查找设备"));
    auto* layout = new QVBoxLayout(this);
    m_allProtocols = new QCheckBox(QStringLiteral("尝试所有协议"), this);
    m_allProtocols->setChecked(true);
    m_allLineSettings = new QCheckBox(QStringLiteral("串口: 尝试所有波特率和校验位"), this);
    layout->addWidget(m_allProtocols);
    layout->addWidget(m_allLineSettings);
    auto* buttons = new QHBoxLayout;
    m_start = new QPushButton(QStringLiteral("开始"), this);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_use = new QPushButton(QStringLiteral("使用所选设备"), this);
    for (QPushButton* button : {m_start, m_cancel, m_use}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    m_found = new QListWidget(this);
    m_found->setMinimumSize(360, 160);
    layout->addWidget(m_found);
    m_progress = new QProgressBar(this);
    layout->addWidget(m_progress);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    layout->addWidget(m_status);

    IBoardSearchView& view = *this;
    m_session = std::make_unique<BoardSearchSession>(tools, view);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, [this] { m_session->OnStep(); });
    connect(m_start, &QPushButton::clicked, this, [this] {
        m_session->Start(m_allProtocols->isChecked(), m_allLineSettings->isChecked());
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_session->Cancel(); });
    connect(m_use, &QPushButton::clicked, this, &BoardSearchDialog::UseChosen);
    connect(m_found, &QListWidget::itemDoubleClicked, this, &BoardSearchDialog::UseChosen);
}

void BoardSearchDialog::UseChosen() {
    const int row = m_found->currentRow();
    if (!m_session->Running() && row >= 0 && m_session->Choose(static_cast<size_t>(row)))
        accept();
}

void BoardSearchDialog::reject() {
    if (m_session->Running())
        m_session->Cancel();
    else
        QDialog::reject();
}

void BoardSearchDialog::ClearFound() {
    m_found->clear();
}

void BoardSearchDialog::AddFound(const std::string& text) {
    m_found->addItem(Text(text));
    if (m_found->currentRow() < 0)
        m_found->setCurrentRow(0);
}

void BoardSearchDialog::ShowProgress(int64_t done, int64_t total) {
    // A progress bar counts in int: scale a long search down to per mille.
    m_progress->setRange(0, 1000);
    m_progress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void BoardSearchDialog::ShowStatus(const std::string& text) {
    m_status->setText(Text(text));
}

void BoardSearchDialog::ShowRunning(bool running) {
    m_start->setEnabled(!running);
    m_allProtocols->setEnabled(!running);
    m_allLineSettings->setEnabled(!running);
    m_cancel->setEnabled(running);
    m_use->setEnabled(!running);
}
