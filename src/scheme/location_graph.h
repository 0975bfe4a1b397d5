#pragma once
// The location graph: the open scheme's samples as markers on a plane
// around the listener, from -10 to 10 on each axis. "Pan & Distance" (view
// 0) plots X against Z, the scene seen from above with the listener facing
// the bottom edge; "Pan & Elevation" (view 1) plots X against Y. The left
// edge is X = +10 and the right edge X = -10, so that a marker on the left
// half sounds on the listener's right; the mouse readout counts left to
// right from -10, and a click stores the negative of its first number.
//
// Every paint is computed afresh from the rows; the graph keeps only the
// last mouse position, the view and, while the scheme plays, when each row
// last fired (drawn as a fading ring after everything else).

#include "base/clock.h"

#include <QPoint>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

struct TPlaybackRow;

// Position to pixel: px = Round((10 - X) / 20 x W), py = Round((v + 10) / 20
// x H), halves to even; v is Z or Y by the view.
QPoint GraphPixel(long double x, long double v, int width, int height);
// Pixel to mouse units, as 32-bit floats: x / W x 20 - 10, y / H x 20 - 10.
struct TGraphMouse {
    float X = 0, Y = 0;
};
TGraphMouse GraphMouseUnits(int x, int y, int width, int height);

class TLocationGraph : public QWidget {
    Q_OBJECT

public:
    enum TView { PanDistance = 0, PanElevation = 1 };

    TLocationGraph(IClock& clock, QWidget* parent = nullptr);
    ~TLocationGraph() override;

    // What a paint reads, asked afresh each time: the rows in panel order,
    // the selected row (-1 for none), whether markers follow the channels
    // (patterns shown in motion while the Play button is down), and whether
    // the Play button is down.
    std::function<const std::vector<TPlaybackRow*>&()> Rows;
    std::function<int()> SelectedRow;
    std::function<bool()> FollowChannels;
    std::function<bool()> Playing;
    // After the mouse moved over the graph (MouseX and MouseY are new), and
    // after a click on it.
    std::function<void()> OnMouseMove;
    std::function<void()> OnClick;

    int View() const { return m_view; }
    void SetView(int view);
    float MouseX() const { return m_mouse.X; }
    float MouseY() const { return m_mouse.Y; }

    // Row `row` started to sound: while the Play button is down, a ring
    // spreads from its marker and fades over a second.
    void RowFired(int row);
    // The rows were renumbered or replaced: rings in flight are forgotten.
    void ForgetRings();
    static constexpr int RingMs = 1000;

    // GraphPaint, onto any device the size of the graph.
    void Paint(QPainter& painter, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PaintRings(QPainter& painter, int width, int height);
    void AnimateRings();

    IClock& m_clock;
    int m_view = PanDistance;
    TGraphMouse m_mouse;
    bool m_pressed = false;
    std::map<int, int64_t> m_firedAt; // row -> steady ms of its last firing
    IClock::TTimerId m_ringTimer = 0;
};
