#include "ui/qt/ToolsView.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "dialog/ToolDialogs.h"
#include "ui/qt/BoardSearchDialog.h"
#include "ui/qt/DescribedDialog.h"
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
    DescribedDialog form(ToolDialogs::LinkParameters(), m_parent);
    auto* receiveTimeout = form.Control<QLineEdit>(ToolDialogs::IDC_LINK_RECEIVE_TIMEOUT);
    auto* retryCount = form.Control<QLineEdit>(ToolDialogs::IDC_LINK_RETRY_COUNT);
    auto* heartbeatTimeout = form.Control<QLineEdit>(ToolDialogs::IDC_LINK_HEARTBEAT_TIMEOUT);
    receiveTimeout->setText(Text(texts.receiveTimeout));
    retryCount->setText(Text(texts.retryCount));
    heartbeatTimeout->setText(Text(texts.heartbeatTimeout));
    auto* problem = form.Control<QLabel>(ToolDialogs::IDC_LINK_PROBLEM);
    problem->setStyleSheet(QStringLiteral("color: #c00000"));

    LinkParameterTexts typed;
    // OK closes the form only when the layer accepts what was typed.
    QObject::connect(form.Control<QPushButton>(ToolDialogs::IDC_OK), &QPushButton::clicked, &form,
                     [&] {
                         typed = {Utf8(receiveTimeout->text()), Utf8(retryCount->text()),
                                  Utf8(heartbeatTimeout->text())};
                         const std::string error = check(typed);
                         problem->setText(Text(error));
                         if (error.empty())
                             form.accept();
                     });
    QObject::connect(form.Control<QPushButton>(ToolDialogs::IDC_CANCEL), &QPushButton::clicked,
                     &form, &QDialog::reject);
    if (form.exec() != QDialog::Accepted)
        return false;
    texts = typed;
    return true;
}

void ToolsView::ShowMessage(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, Text(title), Text(text), QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("toolMessage"));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

bool ToolsView::AskConfirmation(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Question, Text(title), Text(text),
                    QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    box.setObjectName(QStringLiteral("toolConfirmation"));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void ToolsView::ShowSelfTest(MainDialog& dialog, bool& loopbackChoice) {
    SelfTestDialog selfTest(dialog, loopbackChoice, m_parent);
    selfTest.exec();
}

void ToolsView::ShowBoardSearch(WindowTools& tools) {
    BoardSearchDialog search(tools, m_parent);
    search.exec();
}
