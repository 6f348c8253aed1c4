#include "ui/qt/SelfTestDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int32_t kPoints = 32;

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A group of 32 cells, 8 to a row, index 0 at the top left as on the main window.
QGroupBox* PointGrid(const QString& title, QLabel** cells, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    grid->setSpacing(2);
    for (int32_t i = 0; i < kPoints; ++i) {
        auto* cell = new QLabel(QString::number(i), box);
        cell->setAlignment(Qt::AlignCenter);
        cell->setMinimumSize(34, 22);
        cell->setAutoFillBackground(true);
        grid->addWidget(cell, i / 8, i % 8);
        cells[i] = cell;
    }
    return box;
}

} // namespace

SelfTestDialog::SelfTestDialog(MainDialog& dialog, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("板卡自检"));
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    m_loopback = new QCheckBox(QStringLiteral("回环检查（线圈 k 接输入 k）"), this);
    m_start = new QPushButton(QStringLiteral("开始"), this);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_copy = new QPushButton(QStringLiteral("复制结果"), this);
    controls->addWidget(m_loopback);
    controls->addStretch();
    for (QPushButton* button : {m_start, m_cancel, m_copy}) {
        button->setAutoDefault(false);
        controls->addWidget(button);
    }
    layout->addLayout(controls);
    layout->addWidget(PointGrid(QStringLiteral("线圈"), m_points.data(), this));
    m_inputs = PointGrid(QStringLiteral("输入"), m_points.data() + kPoints, this);
    layout->addWidget(m_inputs);
    m_progress = new QProgressBar(this);
    layout->addWidget(m_progress);
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("verdict"));
    layout->addWidget(m_verdict);

    ISelfTestView& view = *this;
    m_session = std::make_unique<SelfTestSession>(dialog, view);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, [this] { m_session->OnStep(); });
    connect(m_start, &QPushButton::clicked, this,
            [this] { m_session->Start(m_loopback->isChecked()); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_session->Cancel(); });
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Text(m_session->ResultText())); });
}

QLabel* SelfTestDialog::Point(bool isCoil, int32_t index) const {
    return index >= 0 && index < kPoints ? m_points[static_cast<size_t>((isCoil ? 0 : 32) + index)]
                                         : nullptr;
}

void SelfTestDialog::reject() {
    if (m_session->Running())
        m_session->Cancel();
    else
        QDialog::reject();
}

void SelfTestDialog::ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) {
    QLabel* cell = Point(isCoil, index);
    if (cell == nullptr)
        return;
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Window, QColor(colour.red, colour.green, colour.blue));
    palette.setColor(QPalette::WindowText, Qt::black);
    cell->setPalette(palette);
    cell->setToolTip(Text(reason));
}

void SelfTestDialog::ShowInputs(bool shown) {
    m_inputs->setEnabled(shown);
}

void SelfTestDialog::ShowProgress(int32_t done, int32_t total) {
    m_progress->setRange(0, total);
    m_progress->setValue(done);
}

void SelfTestDialog::ShowVerdict(const std::string& text) {
    m_verdict->setText(Text(text));
}

void SelfTestDialog::ShowRunning(bool running) {
    m_start->setEnabled(!running);
    m_loopback->setEnabled(!running);
    m_cancel->setEnabled(running);
    m_copy->setEnabled(!running);
}
