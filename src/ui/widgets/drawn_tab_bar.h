#pragma once
// A tab bar whose tabs its owner draws: the bar paints each tab's ground
// (black for the current tab, grey for the others) and hands the caption to
// OnDrawTab with the tab's rectangle, so that a page's tabs look as its
// owner wants in every style.

#include <QTabBar>

#include <functional>

class QPainter;

class TDrawnTabBar : public QTabBar {
    Q_OBJECT

public:
    explicit TDrawnTabBar(QWidget* parent = nullptr);

    // Draws tab `index`'s caption within `rect`, in the bar's coordinates.
    std::function<void(QPainter& painter, int index, const QRect& rect)> OnDrawTab;

protected:
    void paintEvent(QPaintEvent* event) override;
};
