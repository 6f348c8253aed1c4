#include "ui/qt/TimelineWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <vector>

#include "dialog/MainDialog.h"

namespace {

constexpr int kTickMs = 100;

QColor Colour(Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

} // namespace

TimelineCanvas::TimelineCanvas(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 420);
}

void TimelineCanvas::Paint(QPainter& painter, const TimelineFrame& frame, QSize size) {
    painter.fillRect(QRect(QPoint(0, 0), size), Colour(frame.background));
    // Lines of one colour that follow each other go to the painter in one call: a lane with
    // thousands of edges would otherwise cost a call each.
    std::vector<QLine> lines;
    Rgb linesColour;
    auto flush = [&] {
        if (lines.empty())
            return;
        painter.setPen(Colour(linesColour));
        painter.drawLines(lines.data(), int(lines.size()));
        lines.clear();
    };
    for (const TimelineShape& s : frame.shapes) {
        if (s.kind == TimelineShape::Kind::Line) {
            if (!lines.empty() && s.colour != linesColour)
                flush();
            linesColour = s.colour;
            lines.emplace_back(s.x0, s.y0, s.x1, s.y1);
            continue;
        }
        flush();
        if (s.kind == TimelineShape::Kind::Fill)
            painter.fillRect(s.x0, s.y0, s.x1 - s.x0, s.y1 - s.y0, Colour(s.colour));
        else
            painter.fillRect(s.x0, s.y0, s.x1 - s.x0, s.y1 - s.y0,
                             QBrush(Colour(s.colour), Qt::BDiagPattern));
    }
    flush();
    QFont font = painter.font();
    for (const TimelineText& t : frame.texts) {
        font.setPixelSize(std::max(6, std::min(12, t.y1 - t.y0 - 1)));
        painter.setFont(font);
        painter.setPen(Colour(t.colour));
        painter.drawText(QRect(t.x0, t.y0, t.x1 - t.x0, t.y1 - t.y0),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(t.text));
    }
}

void TimelineCanvas::paintEvent(QPaintEvent*) {
    if (m_session == nullptr)
        return;
    QPainter painter(this);
    Paint(painter, m_session->Frame(), size());
}

void TimelineCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_session != nullptr)
        m_session->OnResize(width(), height());
}

void TimelineCanvas::wheelEvent(QWheelEvent* event) {
    if (m_session != nullptr)
        m_session->OnWheel(int(event->position().x()), event->angleDelta().y() / 120.0);
    event->accept();
}

void TimelineCanvas::mousePressEvent(QMouseEvent* event) {
    if (m_session != nullptr && event->button() == Qt::LeftButton)
        m_session->OnPress(int(event->position().x()), int(event->position().y()));
}

void TimelineCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (m_session != nullptr)
        m_session->OnMove(int(event->position().x()), int(event->position().y()),
                          (event->buttons() & Qt::LeftButton) != 0);
}

void TimelineCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (m_session != nullptr && event->button() == Qt::LeftButton)
        m_session->OnRelease(int(event->position().x()), int(event->position().y()));
}

void TimelineCanvas::leaveEvent(QEvent*) {
    if (m_session != nullptr)
        m_session->OnLeave();
}

TimelineWindow::TimelineWindow(MainDialog& dialog, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("点位时间线"));
    setModal(false);
    m_canvas = new TimelineCanvas(this);
    m_hover = new QLabel(this);
    m_note = new QLabel(this);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hover->setObjectName(QStringLiteral("hover"));
    m_note->setObjectName(QStringLiteral("note"));
    auto* follow = new QPushButton(QStringLiteral("回到最新"), this);
    auto* exportButton = new QPushButton(QStringLiteral("导出..."), this);
    follow->setAutoDefault(false);
    exportButton->setAutoDefault(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_hover, 2);
    bar->addWidget(m_note, 3);
    bar->addWidget(follow);
    bar->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_canvas, 1);
    layout->addLayout(bar);

    ITimelineView& view = *this;
    m_session = std::make_unique<TimelineSession>(dialog.History(), view,
                                                  [&dialog] { return dialog.HistoryNowUs(); });
    m_canvas->SetSession(m_session.get());
    connect(follow, &QPushButton::clicked, this, [this] { m_session->Follow(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { m_session->Export(); });
    connect(&m_ticker, &QTimer::timeout, this, [this] { m_session->OnTick(); });
    m_ticker.start(kTickMs);
    resize(1100, 820);
}

TimelineWindow::~TimelineWindow() {
    m_canvas->SetSession(nullptr);
}

void TimelineWindow::Redraw() {
    m_canvas->update();
}

void TimelineWindow::ShowHover(const std::string& text) {
    m_hover->setText(QString::fromStdString(text));
}

void TimelineWindow::ShowNote(const std::string& text) {
    m_note->setText(QString::fromStdString(text));
}

std::string TimelineWindow::AskExportFileName(const std::string& suggestedName) {
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出"), QString::fromStdString(suggestedName),
        QStringLiteral("VCD (*.vcd);;CSV (*.csv)"), &filter);
    // A name without an extension gets the chosen format's.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += filter.startsWith(QStringLiteral("CSV")) ? QStringLiteral(".csv")
                                                         : QStringLiteral(".vcd");
    return path.toStdString();
}
