#pragma once

#include <QPlainTextEdit>

// A read-only pane of log lines that always shows the newest one. Appending touches only the
// end of the text and dropping only its start, so neither grows with the pane.
class LogPane : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit LogPane(QWidget* parent = nullptr);

    // Adds one line after the last one and scrolls so that it is in view. A line that
    // itself contains line breaks shows as several lines.
    void AppendLine(const QString& line);
    // The number of lines in the pane; 0 before the first append. Lines are meant to be
    // added through AppendLine only.
    int LineCount() const;
    // Removes the count oldest lines (all of them when the pane holds fewer).
    void DropOldestLines(int count);

private:
    int m_appended = 0;
};
