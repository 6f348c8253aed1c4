#pragma once

#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "dialog/ITimelineView.h"
#include "dialog/TimelineSession.h"

class MainDialog;
class QLabel;

// The canvas of the point timeline: paints the session's frame as it is and forwards the
// mouse to it.
class TimelineCanvas : public QWidget {
    Q_OBJECT

public:
    explicit TimelineCanvas(QWidget* parent);
    void SetSession(TimelineSession* session) { m_session = session; }
    // Paints a frame on any painter: the window's, or an image's in the benchmark.
    static void Paint(QPainter& painter, const TimelineFrame& frame, QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TimelineSession* m_session = nullptr;
};

// "点位时间线..." on Qt: a window beside the main window (not modal) with the canvas, the
// hover and note lines, "回到最新" and "导出...". A timer moves the latest moment along.
class TimelineWindow : public QDialog, private ITimelineView {
    Q_OBJECT

public:
    TimelineWindow(MainDialog& dialog, QWidget* parent);
    ~TimelineWindow() override;

    TimelineCanvas* Canvas() const { return m_canvas; }
    TimelineSession& Session() { return *m_session; }

private:
    void Redraw() override;
    void ShowHover(const std::string& text) override;
    void ShowNote(const std::string& text) override;
    std::string AskExportFileName(const std::string& suggestedName) override;

    TimelineCanvas* m_canvas = nullptr;
    QLabel* m_hover = nullptr;
    QLabel* m_note = nullptr;
    QTimer m_ticker;
    std::unique_ptr<TimelineSession> m_session;
};
