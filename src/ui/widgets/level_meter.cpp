#include "ui/widgets/level_meter.h"

#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace {

constexpr int kBevel = 2;
constexpr int kMargin = 1;
constexpr int kSpotWidth = 2;
constexpr int kSpotGap = 1;
constexpr int kPitch = kSpotWidth + kSpotGap;
// Where the bar turns from lime to yellow and from yellow to red, in
// percent of its length.
constexpr int kYellowFrom = 60;
constexpr int kRedFrom = 85;

const QColor kBackground(0, 0, 0);
const QColor kLime(0, 255, 0);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kOlive(128, 128, 0);
const QColor kMaroon(128, 0, 0);

} // namespace

TMMLevel::TMMLevel(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMMLevel::SetBitLength(int bits)
{
    const int length = bits <= 12 ? 8 : 16;
    if (length == m_bitLength)
        return;
    m_bitLength = length;
    m_value = std::min(m_value, FullScale());
    update();
}

void TMMLevel::SetValue(int32_t value)
{
    value = std::clamp(value, 0, FullScale());
    if (value == m_value)
        return;
    const int litBefore = LitSpots();
    m_value = value;
    if (LitSpots() != litBefore)
        update();
}

QRect TMMLevel::SpotArea() const
{
    const int inset = kBevel + kMargin;
    return rect().adjusted(inset, inset, -inset, -inset);
}

int TMMLevel::SpotCount() const
{
    return std::max(0, (SpotArea().width() + kSpotGap) / kPitch);
}

int TMMLevel::LitSpots() const
{
    if (m_value <= 0)
        return 0;
    const int64_t full = FullScale();
    const int64_t count = SpotCount();
    const int rounded = static_cast<int>((m_value * count + full / 2) / full);
    return std::min<int>(std::max(1, rounded), static_cast<int>(count));
}

QSize TMMLevel::sizeHint() const
{
    return {60, 20};
}

QSize TMMLevel::minimumSizeHint() const
{
    const int frame = 2 * (kBevel + kMargin);
    return {frame + kSpotWidth, frame + 1};
}

void TMMLevel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QBrush fill(kBackground);
    qDrawWinPanel(&painter, rect(), palette(), true, &fill);

    const QRect area = SpotArea();
    if (area.isEmpty())
        return;
    const int count = SpotCount();
    const int lit = LitSpots();
    for (int i = 0; i < count; ++i) {
        const bool red = i * 100 >= count * kRedFrom;
        const bool yellow = !red && i * 100 >= count * kYellowFrom;
        const QRect spot(area.left() + i * kPitch, area.top(), kSpotWidth, area.height());
        if (i < lit)
            painter.fillRect(spot, red ? kRed : yellow ? kYellow : kLime);
        else
            painter.fillRect(spot, QBrush(red ? kMaroon : yellow ? kOlive : kGreen, Qt::Dense4Pattern));
    }
}
