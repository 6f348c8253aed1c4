#include "ui/qt/LogPane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setMaximumBlockCount(0);
    // An undo history would keep a second copy of every line.
    setUndoRedoEnabled(false);
}

void LogPane::AppendLine(const QString& line) {
    // Only the end of the document is touched, and within one edit block the new line is
    // laid out once, when the block ends, rather than after every step and cursor move.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    // The first line goes into the document's initial empty block; counting appends rather
    // than testing for an empty document keeps a leading empty line.
    if (m_appended > 0)
        cursor.insertBlock();
    cursor.insertText(line);
    cursor.endEditBlock();
    ++m_appended;

    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

int LogPane::LineCount() const {
    return m_appended > 0 ? document()->blockCount() : 0;
}

void LogPane::DropOldestLines(int count) {
    if (count <= 0 || m_appended == 0)
        return;
    if (count >= document()->blockCount()) {
        clear();
        m_appended = 0;
        return;
    }
    // One edit from the start of the first line to the start of the first line kept.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(document()->findBlockByNumber(count).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
}
