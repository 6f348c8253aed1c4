#include "ui/qt/ToolsView.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

#include "ui/qt/BoardSearchDialog.h"
#include "ui/qt/SelfTestDialog.h"

namespace {

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string Utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

bool ToolsView::OpenFolder(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Text(path)));
}

std::string ToolsView::AskSaveFileName(const std::string& suggestedName) {
    const QString start = QDir::home().filePath(Text(suggestedName));
    return Utf8(QFileDialog::getSaveFileName(m_parent, QStringLiteral("保存日志"), start,
                                             QStringLiteral("文本文件 (*.txt);;所有文件 (*)")));
}

bool ToolsView::AskLinkParameters(
    LinkParameterTexts& texts, const std::function<std::string(const LinkParameterTexts&)>& check) {
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("linkParameters"));
    dialog.setWindowTitle(QStringLiteral("通信参数"));
    auto* layout = new QFormLayout(&dialog);
    auto* receiveTimeout = new QLineEdit(Text(texts.receiveTimeout), &dialog);
    auto* retryCount = new QLineEdit(Text(texts.retryCount), &dialog);
    auto* heartbeatTimeout = new QLineEdit(Text(texts.heartbeatTimeout), &dialog);
    layout->addRow(QStringLiteral("响应超时 (ms):"), receiveTimeout);
    layout->addRow(QStringLiteral("重试次数:"), retryCount);
    layout->addRow(QStringLiteral("心跳超时 (ms):"), heartbeatTimeout);
    auto* problem = new QLabel(&dialog);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setStyleSheet(QStringLiteral("color: #c00000"));
    layout->addRow(problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    layout->addRow(buttons);

    LinkParameterTexts typed;
    // OK closes the form only when the layer accepts what was typed.
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        typed = {Utf8(receiveTimeout->text()), Utf8(retryCount->text()),
                 Utf8(heartbeatTimeout->text())};
        const std::string error = check(typed);
        problem->setText(Text(error));
        if (error.empty())
            dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    texts = typed;
    return true;
}

void ToolsView::ShowSelfTest(MainDialog& dialog) {
    SelfTestDialog selfTest(dialog, m_parent);
    selfTest.exec();
}

void ToolsView::ShowBoardSearch(WindowTools& tools) {
    BoardSearchDialog search(tools, m_parent);
    search.exec();
}
