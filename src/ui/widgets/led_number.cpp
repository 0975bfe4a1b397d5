#include "ui/widgets/led_number.h"

#include <QPainter>
#include <QPolygon>
#include <qdrawutil.h>

#include <algorithm>
#include <array>

namespace {

constexpr int kBevel = 2;
constexpr int kPadding = 2;
constexpr int kMaxDigits = 9;

const QColor kBackground(0, 0, 0);
const QColor kLit(0, 255, 0);
const QColor kUnlit(0, 60, 0);

// Segments a b c d e f g, bit 0 = a: top, upper right, lower right, bottom,
// lower left, upper left, middle.
constexpr std::array<unsigned, 10> kSegmentsOf = {
    0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F,
};

int PowerOfTen(int exponent)
{
    int result = 1;
    for (int i = 0; i < exponent; ++i)
        result *= 10;
    return result;
}

// A segment along the rectangle's long side; thick ones get pointed ends so
// that neighbours meet at a mitre like printed LED segments.
void PaintSegment(QPainter& painter, const QRect& r, const QColor& color)
{
    const bool horizontal = r.width() >= r.height();
    const int thickness = horizontal ? r.height() : r.width();
    if (thickness < 3) {
        painter.fillRect(r, color);
        return;
    }
    const int h = thickness / 2;
    QPolygon shape;
    if (horizontal) {
        const int y = r.top() + h;
        shape << QPoint(r.left(), y) << QPoint(r.left() + h, r.top()) << QPoint(r.right() - h, r.top())
              << QPoint(r.right(), y) << QPoint(r.right() - h, r.bottom()) << QPoint(r.left() + h, r.bottom());
    } else {
        const int x = r.left() + h;
        shape << QPoint(x, r.top()) << QPoint(r.right(), r.top() + h) << QPoint(r.right(), r.bottom() - h)
              << QPoint(x, r.bottom()) << QPoint(r.left(), r.bottom() - h) << QPoint(r.left(), r.top() + h);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPolygon(shape);
}

} // namespace

TLedNumber::TLedNumber(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLedNumber::SetDigits(int digits)
{
    digits = std::clamp(digits, 1, kMaxDigits);
    if (digits == m_digits)
        return;
    m_digits = digits;
    m_value = std::min(m_value, Limit());
    updateGeometry();
    update();
}

void TLedNumber::SetValue(int value)
{
    value = std::clamp(value, 0, Limit());
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void TLedNumber::SetMax(int max)
{
    m_max = max < 0 ? -1 : max;
    SetValue(m_value);
}

void TLedNumber::SetDigitWidth(int width)
{
    m_digitWidth = std::max(3, width);
    updateGeometry();
    update();
}

void TLedNumber::SetDigitHeight(int height)
{
    m_digitHeight = std::max(5, height);
    updateGeometry();
    update();
}

int TLedNumber::Limit() const
{
    const int byDigits = PowerOfTen(m_digits) - 1;
    return m_max < 0 ? byDigits : std::min(byDigits, m_max);
}

int TLedNumber::DigitGap() const
{
    return std::max(2, m_digitWidth / 4);
}

QSize TLedNumber::sizeHint() const
{
    const int frame = 2 * (kBevel + kPadding);
    return {frame + m_digits * m_digitWidth + (m_digits - 1) * DigitGap(), frame + m_digitHeight};
}

QSize TLedNumber::minimumSizeHint() const
{
    return sizeHint();
}

void TLedNumber::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QBrush fill(kBackground);
    qDrawWinPanel(&painter, rect(), palette(), true, &fill);

    // The digits keep their size and sit in the middle when the layout gives
    // more room: stretched segments look nothing like an LED.
    const QSize block = sizeHint() - QSize(2 * (kBevel + kPadding), 2 * (kBevel + kPadding));
    const int left = (width() - block.width()) / 2;
    const int top = (height() - block.height()) / 2;
    painter.setClipRect(rect().adjusted(kBevel, kBevel, -kBevel, -kBevel));
    painter.setRenderHint(QPainter::Antialiasing, m_digitWidth >= 12);

    // Positions before the number's first digit stay dark, digit -1.
    int rest = m_value;
    for (int i = m_digits - 1; i >= 0; --i) {
        const bool shown = rest > 0 || i == m_digits - 1;
        PaintDigit(painter, QPoint(left + i * (m_digitWidth + DigitGap()), top), shown ? rest % 10 : -1);
        rest /= 10;
    }
}

void TLedNumber::PaintDigit(QPainter& painter, const QPoint& origin, int digit) const
{
    const int w = m_digitWidth;
    const int h = m_digitHeight;
    const int t = std::max(1, (std::min(w, h) + 2) / 5);
    const int mid = (h - t) / 2;
    const int span = w - 2 * t;
    const std::array<QRect, 7> segments = {
        QRect(t, 0, span, t),                      // a
        QRect(w - t, t, t, mid - t),               // b
        QRect(w - t, mid + t, t, h - 2 * t - mid), // c
        QRect(t, h - t, span, t),                  // d
        QRect(0, mid + t, t, h - 2 * t - mid),     // e
        QRect(0, t, t, mid - t),                   // f
        QRect(t, mid, span, t),                    // g
    };
    const unsigned lit = digit >= 0 ? kSegmentsOf[std::size_t(digit)] : 0u;
    for (std::size_t s = 0; s < segments.size(); ++s)
        PaintSegment(painter, segments[s].translated(origin), (lit >> s) & 1u ? kLit : kUnlit);
}
