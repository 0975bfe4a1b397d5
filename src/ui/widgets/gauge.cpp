#include "ui/widgets/gauge.h"

#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace {

constexpr int kBevel = 2;
const QColor kBackground(0, 0, 0);
const QColor kBar(0, 255, 0);

} // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::SetProgress(int progress)
{
    progress = std::clamp(progress, 0, 100);
    if (progress == m_progress)
        return;
    m_progress = progress;
    update();
}

QSize TGauge::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {std::max(100, metrics.horizontalAdvance(QStringLiteral("100%")) * 3), metrics.height() + 2 * kBevel + 2};
}

QSize TGauge::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("100%")) + 2 * kBevel + 4, metrics.height() + 2 * kBevel + 2};
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QBrush fill(kBackground);
    qDrawWinPanel(&painter, rect(), palette(), true, &fill);

    const QRect inner = rect().adjusted(kBevel, kBevel, -kBevel, -kBevel);
    QRect bar = inner;
    bar.setWidth(inner.width() * m_progress / 100);
    painter.fillRect(bar, kBar);

    const QString text = QStringLiteral("%1%").arg(m_progress);
    QRect rest = inner;
    rest.setLeft(bar.right() + 1);
    painter.setClipRect(rest);
    painter.setPen(kBar);
    painter.drawText(inner, Qt::AlignCenter, text);
    if (!bar.isEmpty()) {
        painter.setClipRect(bar);
        painter.setPen(kBackground);
        painter.drawText(inner, Qt::AlignCenter, text);
    }
}
