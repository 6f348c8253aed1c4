#include "ui/qt/SelfTestDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "dialog/ToolDialogs.h"

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

SelfTestDialog::SelfTestDialog(MainDialog& dialog, bool& loopbackChoice, QWidget* parent)
    : DescribedDialog(ToolDialogs::SelfTest(), parent) {
    ISelfTestView& view = *this;
    m_session = std::make_unique<SelfTestSession>(dialog, view, &loopbackChoice);
    connect(
        Control<QPushButton>(ToolDialogs::IDC_SELFTEST_START), &QPushButton::clicked, this, [this] {
            m_session->Start(Control<QCheckBox>(ToolDialogs::IDC_SELFTEST_LOOPBACK)->isChecked());
        });
    connect(Control<QPushButton>(ToolDialogs::IDC_SELFTEST_CANCEL), &QPushButton::clicked, this,
            [this] { m_session->Cancel(); });
    connect(Control<QCheckBox>(ToolDialogs::IDC_SELFTEST_LOOPBACK), &QCheckBox::toggled, this,
            [this](bool checked) { m_session->OnLoopbackChanged(checked); });
    connect(Control<QPushButton>(ToolDialogs::IDC_SELFTEST_COPY), &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Text(m_session->ResultText())); });
}

QLabel* SelfTestDialog::Point(bool isCoil, int32_t index) const {
    return Cell(isCoil ? ToolDialogs::IDC_SELFTEST_COILS : ToolDialogs::IDC_SELFTEST_INPUTS, index);
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
    Control(ToolDialogs::IDC_SELFTEST_INPUTS)->setEnabled(shown);
}

void SelfTestDialog::ShowProgress(int32_t done, int32_t total) {
    auto* progress = Control<QProgressBar>(ToolDialogs::IDC_SELFTEST_PROGRESS);
    progress->setRange(0, total);
    progress->setValue(done);
}

void SelfTestDialog::ShowVerdict(const std::string& text) {
    Control<QLabel>(ToolDialogs::IDC_SELFTEST_VERDICT)->setText(Text(text));
}

void SelfTestDialog::ShowControls(const SelfTestControls& controls) {
    Control(ToolDialogs::IDC_SELFTEST_START)->setEnabled(controls.start);
    Control(ToolDialogs::IDC_SELFTEST_CANCEL)->setEnabled(controls.cancel);
    Control(ToolDialogs::IDC_SELFTEST_COPY)->setEnabled(controls.copy);
    auto* loopback = Control<QCheckBox>(ToolDialogs::IDC_SELFTEST_LOOPBACK);
    loopback->setEnabled(controls.loopback);
    loopback->setChecked(controls.loopbackChecked);
    loopback->setToolTip(Text(controls.loopbackTip));
}
