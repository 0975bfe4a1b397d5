// The location graph: the mapping between positions and pixels, the painted
// image of a known scheme, and in the window the readout, a click on each
// view and when the graph repaints.
#include "scheme_rows_fixture.h"

#include "base/clock.h"
#include "playback/playback_channel.h"
#include "playback/playback_row.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/location_graph.h"
#include "ui/widgets/drawn_tab_bar.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <deque>
#include <set>
#include <tuple>

TEST(LocationGraphMapping, PositionsAndPixelsBothWays)
{
    const struct {
        long double X, V;
        int W, H, Px, Py;
    } toPixel[] = {
        {0, 0, 222, 313, 111, 156},  // 156.5 rounds to even
        {5, -5, 222, 313, 56, 78},   // 55.5 and 78.25
        {10, -10, 222, 313, 0, 0},   // the left and top edges
        {-10, 10, 222, 313, 222, 313}, // the right and bottom edges
        {0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : toPixel)
        EXPECT_EQ(GraphPixel(c.X, c.V, c.W, c.H), QPoint(c.Px, c.Py)) << double(c.X) << "," << double(c.V);

    const struct {
        int X, Y, W, H;
        float MouseX, MouseY;
    } toMouse[] = {
        {0, 0, 222, 313, -10.0f, -10.0f},
        {111, 0, 222, 313, 0.0f, -10.0f},
        {222, 313, 222, 313, 10.0f, 10.0f},
        {56, 78, 222, 313, float(56.0L / 222 * 20 - 10), float(78.0L / 313 * 20 - 10)},
    };
    for (const auto& c : toMouse) {
        const TGraphMouse mouse = GraphMouseUnits(c.X, c.Y, c.W, c.H);
        EXPECT_EQ(mouse.X, c.MouseX) << c.X;
        EXPECT_EQ(mouse.Y, c.MouseY) << c.Y;
    }
}

namespace {

// A channel that stands where the test puts it.
class TStandingChannel : public IPlaybackChannel {
public:
    TPlaybackPosition At;
    void Play() override {}
    void Stop() override {}
    bool IsPlaying() override { return true; }
    bool Looping() override { return false; }
    void SetLooping(bool) override {}
    TPlaybackPosition Position() override { return At; }
    void SetPositionX(long double x) override { At.X = x; }
    void SetPositionY(long double y) override { At.Y = y; }
    void SetPositionZ(long double z) override { At.Z = z; }
};

// A graph of 222 by 313 pixels over rows the test sets, painted onto an
// image on the black of its panel.
class LocationGraphImage : public ::testing::Test {
protected:
    LocationGraphImage()
    {
        m_graph.Rows = [this]() -> const std::vector<TPlaybackRow*>& { return m_pointers; };
        m_graph.SelectedRow = [this] { return Selected; };
        m_graph.FollowChannels = [this] { return Follow; };
        m_graph.Playing = [this] { return Playing; };
    }
    TPlaybackRow& AddRow(float x, float y, float z, int pattern = 0)
    {
        auto& row = m_rows.emplace_back();
        row.CoordX = x;
        row.CoordY = y;
        row.CoordZ = z;
        row.Pattern = pattern;
        m_pointers.clear();
        for (TPlaybackRow& r : m_rows)
            m_pointers.push_back(&r);
        return row;
    }
    QImage Paint(int view = TLocationGraph::PanDistance)
    {
        m_graph.SetView(view);
        QImage image(222, 313, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        m_graph.Paint(painter, 222, 313);
        return image;
    }
    static std::set<QRgb> Colours(const QImage& image, QRect area)
    {
        std::set<QRgb> colours;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                colours.insert(image.pixel(x, y) & 0xffffff);
        return colours;
    }

    int Selected = -1;
    bool Follow = false, Playing = false;
    TVirtualClock Clock;
    TLocationGraph m_graph{Clock};

private:
    std::deque<TPlaybackRow> m_rows;
    std::vector<TPlaybackRow*> m_pointers;
};

const QRgb White = 0xffffff, Lime = 0x00ff00, Teal = 0x008080, Grey = 0x808080;

} // namespace

TEST_F(LocationGraphImage, AxesMarkersTheSelectionAndItsGuide)
{
    AddRow(0, 0, 0);                // drawn at the listener, (111, 156)
    AddRow(5, 0, -5, 3);            // (56, 78), passing from the left
    Selected = 1;
    QImage image = Paint();
    // The dotted axes: grey dots and black gaps, nothing else, away from
    // the ticks, labels and markers.
    EXPECT_EQ(Colours(image, QRect(111, 20, 1, 40)), (std::set<QRgb>{Grey, 0}));
    EXPECT_EQ(Colours(image, QRect(150, 156, 8, 1)), (std::set<QRgb>{Grey, 0}));
    // The plus signs in white, over the axes (the selected one's guide
    // starts at its centre and covers its right arm).
    for (QPoint centre : {QPoint(111, 156), QPoint(56, 78)})
        for (QPoint arm : {QPoint(-3, 0), QPoint(0, -3), QPoint(0, 3)})
            EXPECT_EQ(image.pixel(centre + arm) & 0xffffff, White) << (centre + arm).x() << "," << (centre + arm).y();
    // The selected marker's two lime circles, radius 6 and 10.
    for (int r : {6, 10}) {
        EXPECT_EQ(image.pixel(56, 78 - r) & 0xffffff, Lime) << r;
        EXPECT_EQ(image.pixel(56 - r, 78) & 0xffffff, Lime) << r;
    }
    // The guide runs to the right edge in teal dashes.
    EXPECT_TRUE(Colours(image, QRect(70, 78, 140, 1)).count(Teal));
    // On the elevation view the same scheme draws no guide.
    image = Paint(TLocationGraph::PanElevation);
    EXPECT_FALSE(Colours(image, QRect(0, 0, 222, 313)).count(Teal));
}

TEST_F(LocationGraphImage, TheCircleGuideAndMarkersThatFollowTheirChannels)
{
    TStandingChannel channel;
    channel.At = {-5, 0, 5}; // (166, 235): 166.5 rounds to even
    TPlaybackRow& row = AddRow(5, 0, -5, 1);
    row.Channel = &channel;
    Selected = 0;
    // At home, the guide circles the centre through the marker: radius
    // Round(hypot(55, 78)) = 95.
    QImage image = Paint();
    EXPECT_EQ(image.pixel(56, 75) & 0xffffff, White);
    EXPECT_TRUE(Colours(image, QRect(111 - 95 - 1, 150, 3, 12)).count(Teal));
    // Following the channel, the marker is where the channel plays.
    Follow = true;
    image = Paint();
    EXPECT_EQ(image.pixel(166, 232) & 0xffffff, White);
    EXPECT_NE(image.pixel(56, 75) & 0xffffff, White);
}

TEST_F(LocationGraphImage, AFiringDrawsAFadingRingOnlyWhilePlaying)
{
    AddRow(0, 0, 5); // (111, 235)
    auto ringPixels = [&] {
        const QImage image = Paint();
        int lit = 0;
        for (int y = 235 - 30; y <= 235 + 30; ++y)
            for (int x = 111 - 30; x <= 111 + 30; ++x)
                if (std::abs(x - 111) > 4 || std::abs(y - 235) > 4) {
                    const QColor c = image.pixelColor(x, y);
                    lit += c.green() > 0 && c.red() < c.green() / 2; // lime, dimmed or not
                }
        return lit;
    };
    const int before = ringPixels();
    m_graph.RowFired(0);
    EXPECT_EQ(ringPixels(), before) << "stopped: no ring";
    Playing = true;
    Clock.Advance(200);
    EXPECT_GT(ringPixels(), before);
    Clock.Advance(TLocationGraph::RingMs);
    EXPECT_EQ(ringPixels(), before);
}

namespace {

class TLocationPageTest : public TSchemeRowsTest {
protected:
    // Alpha with one sample at (1, 2, 3), its Location page shown.
    void StartOnLocationPage()
    {
        Start();
        Use("rain.wav");
        TPlaybackRow& record = Record();
        record.CoordX = 1;
        record.CoordY = 2;
        record.CoordZ = 3;
        Panel().TabSet->setCurrentIndex(1);
        QCoreApplication::processEvents();
    }
    TPlaybackRow& Record() { return Row(0).Row->Record(); }
    TLocationGraph& Graph() { return *Panel().Graph; }
    // Clicks at the graph's point that is `fx`, `fy` of its size across.
    void ClickAt(double fx, double fy)
    {
        QTest::mouseClick(&Graph(), Qt::LeftButton, {}, QPoint(int(fx * Graph().width()), int(fy * Graph().height())));
    }
    std::tuple<float, float, float> Home() { return {Record().CoordX, Record().CoordY, Record().CoordZ}; }
};

// Counts the paints a widget receives.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        Paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST_F(TLocationPageTest, AClickPlacesTheSelectedRowOnTheShownView)
{
    StartOnLocationPage();
    ASSERT_GT(Graph().width(), 0);
    ClickAt(0.5, 0.5);
    EXPECT_EQ(Home(), std::make_tuple(1.0f, 2.0f, 3.0f)) << "no row selected: nothing changes";

    Panel().SelectRow(0);
    const struct {
        int View;
        double Fx, Fy;
    } clicks[] = {{0, 0.5, 0.5}, {0, 0.75, 0.25}, {1, 0.25, 0.75}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(testing::Message() << "view " << c.View << " at " << c.Fx << "," << c.Fy);
        Panel().tsSel->setCurrentIndex(c.View);
        const auto [x0, y0, z0] = Home();
        ClickAt(c.Fx, c.Fy);
        const int px = int(c.Fx * Graph().width()), py = int(c.Fy * Graph().height());
        const TGraphMouse mouse = GraphMouseUnits(px, py, Graph().width(), Graph().height());
        const auto [x, y, z] = Home();
        EXPECT_EQ(x, -mouse.X);
        EXPECT_EQ(c.View == 0 ? z : y, mouse.Y);
        EXPECT_EQ(c.View == 0 ? y : z, c.View == 0 ? y0 : z0) << "the third coordinate stays";
        if (c.Fx > 0.5) {
            EXPECT_LT(x, 0) << "the right half is the listener's left";
        }
        // The channel is there at once.
        const TPlaybackPosition at = Record().Channel->Position();
        EXPECT_FLOAT_EQ(float(at.X), x);
        EXPECT_FLOAT_EQ(float(c.View == 0 ? at.Z : at.Y), mouse.Y);
    }
    // A click at the centre of a graph of even size stores the listener's
    // place, 0 and 0, and it goes through the store.
    Graph().setFixedSize(Graph().width() & ~1, Graph().height() & ~1);
    QCoreApplication::processEvents();
    Panel().tsSel->setCurrentIndex(0);
    const float y = std::get<1>(Home());
    QTest::mouseClick(&Graph(), Qt::LeftButton, {}, QPoint(Graph().width() / 2, Graph().height() / 2));
    EXPECT_EQ(Home(), std::make_tuple(0.0f, y, 0.0f));
    Reopen("Alpha");
    EXPECT_EQ(Home(), std::make_tuple(0.0f, y, 0.0f));
}

TEST_F(TLocationPageTest, TheReadoutUsesTheUsersDecimalSeparator)
{
    StartOnLocationPage();
    const QLocale before;
    for (const auto& [locale, expected] :
         {std::pair{QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("-10.00,-10.00")},
          std::pair{QLocale(QLocale::German, QLocale::Germany), QStringLiteral("-10,00,-10,00")}}) {
        QLocale::setDefault(locale);
        QMouseEvent move(QEvent::MouseMove, QPointF(0, 0), Graph().mapToGlobal(QPointF(0, 0)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Graph(), &move);
        EXPECT_EQ(Panel().lblCoords->text(), expected);
    }
    QLocale::setDefault(before);
}

TEST_F(TLocationPageTest, PatternTicksRepaintTheShownGraphOnlyWithPatternsInMotion)
{
    StartOnLocationPage();
    TPaintCounter counter;
    Graph().installEventFilter(&counter);
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    for (bool inMotion : {false, true}) {
        SCOPED_TRACE(inMotion);
        Panel().chkPattern->setChecked(inMotion);
        QCoreApplication::processEvents();
        counter.Paints = 0;
        Clock.Advance(TScheduler::PatternInterval);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.Paints > 0, inMotion);
    }
    Graph().removeEventFilter(&counter);
}
