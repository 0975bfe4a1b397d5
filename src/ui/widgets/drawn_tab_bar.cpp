#include "ui/widgets/drawn_tab_bar.h"

#include <QPainter>

TDrawnTabBar::TDrawnTabBar(QWidget* parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
}

void TDrawnTabBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    for (int i = 0; i < count(); ++i) {
        const QRect tab = tabRect(i);
        painter.fillRect(tab, i == currentIndex() ? QColor(Qt::black) : QColor(128, 128, 128));
        painter.setPen(QColor(64, 64, 64));
        painter.drawRect(tab.adjusted(0, 0, -1, -1));
        if (OnDrawTab) {
            painter.save();
            OnDrawTab(painter, i, tab);
            painter.restore();
        }
    }
}
