#include "scheme/location_graph.h"

#include "playback/playback_channel.h"
#include "playback/playback_row.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor Grey(128, 128, 128);
const QColor Silver(192, 192, 192);
const QColor Lime(0, 255, 0);
const QColor Teal(0, 128, 128);

// Text with its top-left corner at (x, y).
void TextOut(QPainter& painter, int x, int y, const QString& text)
{
    painter.drawText(x, y + painter.fontMetrics().ascent(), text);
}

QPen DottedGrey()
{
    QPen pen(Grey, 0, Qt::DotLine);
    return pen;
}

// The position a row is drawn at: its channel's while the markers follow
// the channels, its home position otherwise; v is Z or Y by the view.
struct TDrawnAt {
    long double X, V;
};

TDrawnAt DrawnAt(TPlaybackRow& row, bool follow, int view)
{
    if (follow && row.Channel) {
        const TPlaybackPosition at = row.Channel->Position();
        return {at.X, view == TLocationGraph::PanDistance ? at.Z : at.Y};
    }
    return {row.CoordX, view == TLocationGraph::PanDistance ? row.CoordZ : row.CoordY};
}

} // namespace

QPoint GraphPixel(long double x, long double v, int width, int height)
{
    return QPoint(static_cast<int>(RoundHalfEven((10 - x) / 20 * width)),
                  static_cast<int>(RoundHalfEven((v + 10) / 20 * height)));
}

TGraphMouse GraphMouseUnits(int x, int y, int width, int height)
{
    return {static_cast<float>(static_cast<long double>(x) / width * 20 - 10),
            static_cast<float>(static_cast<long double>(y) / height * 20 - 10)};
}

TLocationGraph::TLocationGraph(IClock& clock, QWidget* parent) : QWidget(parent), m_clock(clock)
{
    setObjectName("Graph");
    setAccessibleName(QStringLiteral("Location graph"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

TLocationGraph::~TLocationGraph()
{
    m_clock.StopTimer(m_ringTimer);
}

void TLocationGraph::SetView(int view)
{
    m_view = view == PanElevation ? PanElevation : PanDistance;
    update();
}

void TLocationGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Paint(painter, width(), height());
}

void TLocationGraph::Paint(QPainter& painter, int w, int h)
{
    // Too small to map: nothing to show.
    if (w <= 0 || h <= 0)
        return;
    painter.setFont(font());
    const QFontMetrics metrics = painter.fontMetrics();
    const int tw = metrics.horizontalAdvance(QStringLiteral("X"));
    const int th = metrics.height();
    const int cx = w / 2, cy = h / 2;

    painter.setPen(DottedGrey());
    painter.drawLine(cx, 0, cx, h);
    painter.drawLine(0, cy, w, cy);

    painter.setPen(Qt::white);
    const QString axis = m_view == PanDistance ? QStringLiteral("Distance") : QStringLiteral("Elevation");
    TextOut(painter, cx - metrics.horizontalAdvance(axis) - 4, 0, axis);
    TextOut(painter, 3, cy - th - 4, QStringLiteral("Left"));
    TextOut(painter, w - metrics.horizontalAdvance(QStringLiteral("Right")) - 4, cy - th - 4, QStringLiteral("Right"));

    for (int i = 1; i <= 20; ++i) {
        const QString label = QString::number(i - 10);
        const int x = static_cast<int>(RoundHalfEven(static_cast<long double>(i) / 20 * w));
        painter.setPen(DottedGrey());
        painter.drawLine(x, cy - 5, x, cy + 5);
        painter.setPen(Silver);
        TextOut(painter, x - tw / 2, cy + th / 2, label);
        const int y = static_cast<int>(RoundHalfEven(static_cast<long double>(i) / 20 * h));
        painter.setPen(DottedGrey());
        painter.drawLine(cx - 5, y, cx + 5, y);
        painter.setPen(Silver);
        TextOut(painter, cx + tw / 2, y - th / 2, label);
    }

    if (!Rows)
        return;
    const std::vector<TPlaybackRow*>& rows = Rows();
    const bool follow = FollowChannels && FollowChannels();
    const int selected = SelectedRow ? SelectedRow() : -1;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        TPlaybackRow& row = *rows[static_cast<size_t>(r)];
        painter.setPen(QPen(Qt::white, 0, Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        const TDrawnAt at = DrawnAt(row, follow, m_view);
        const QPoint p = GraphPixel(at.X, at.V, w, h);
        painter.drawLine(p.x() - 3, p.y(), p.x() + 3, p.y());
        painter.drawLine(p.x(), p.y() - 3, p.x(), p.y() + 3);
        if (r != selected)
            continue;
        painter.setPen(QPen(Lime, 0, Qt::SolidLine));
        painter.drawEllipse(QRect(QPoint(p.x() - 6, p.y() - 6), QPoint(p.x() + 6, p.y() + 6)));
        painter.drawEllipse(QRect(QPoint(p.x() - 10, p.y() - 10), QPoint(p.x() + 10, p.y() + 10)));
        if (m_view != PanDistance)
            continue;
        painter.setPen(QPen(Teal, 0, Qt::DashLine));
        switch (row.Pattern) {
        case 1: {
            const int q = static_cast<int>(RoundHalfEven(std::hypot(static_cast<long double>(p.x() - cx),
                                                                    static_cast<long double>(p.y() - cy))));
            painter.drawEllipse(QRect(QPoint(cx - q, cy - q), QPoint(cx + q, cy + q)));
            break;
        }
        case 2:
            painter.drawLine(p.x(), p.y(), p.x(), 0);
            break;
        case 3:
            painter.drawLine(p.x(), p.y(), w, p.y());
            break;
        default:
            break;
        }
    }
    PaintRings(painter, w, h);
}

void TLocationGraph::PaintRings(QPainter& painter, int w, int h)
{
    if (m_firedAt.empty() || !Playing || !Playing())
        return;
    const std::vector<TPlaybackRow*>& rows = Rows();
    const bool follow = FollowChannels && FollowChannels();
    const int64_t now = m_clock.SteadyMilliseconds();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (const auto& [row, firedAt] : m_firedAt) {
        const int64_t age = now - firedAt;
        if (age < 0 || age >= RingMs || row >= static_cast<int>(rows.size()))
            continue;
        const double spent = static_cast<double>(age) / RingMs;
        const TDrawnAt at = DrawnAt(*rows[static_cast<size_t>(row)], follow, m_view);
        const QPoint p = GraphPixel(at.X, at.V, w, h);
        const double radius = 4 + 20 * spent;
        QColor ring = Lime;
        ring.setAlphaF(0.6 * (1 - spent));
        painter.setPen(QPen(ring, 1.5));
        painter.drawEllipse(QPointF(p), radius, radius);
    }
    painter.restore();
}

void TLocationGraph::RowFired(int row)
{
    if (row < 0)
        return;
    m_firedAt[row] = m_clock.SteadyMilliseconds();
    if (m_ringTimer == 0)
        m_ringTimer = m_clock.StartTimer(40, [this] { AnimateRings(); });
    update();
}

void TLocationGraph::ForgetRings()
{
    m_firedAt.clear();
    m_clock.StopTimer(m_ringTimer);
    m_ringTimer = 0;
    update();
}

void TLocationGraph::AnimateRings()
{
    const int64_t now = m_clock.SteadyMilliseconds();
    std::erase_if(m_firedAt, [now](const auto& fired) { return now - fired.second >= RingMs; });
    if (m_firedAt.empty()) {
        m_clock.StopTimer(m_ringTimer);
        m_ringTimer = 0;
    }
    update();
}

void TLocationGraph::mouseMoveEvent(QMouseEvent* event)
{
    if (width() <= 0 || height() <= 0)
        return;
    const QPoint at = event->position().toPoint();
    m_mouse = GraphMouseUnits(at.x(), at.y(), width(), height());
    if (OnMouseMove)
        OnMouseMove();
}

void TLocationGraph::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    // The click is where the mouse is, even with no move reported before it.
    mouseMoveEvent(event);
}

void TLocationGraph::mouseReleaseEvent(QMouseEvent* event)
{
    // A click: pressed and released over the graph.
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click && width() > 0 && height() > 0 && OnClick)
        OnClick();
}
