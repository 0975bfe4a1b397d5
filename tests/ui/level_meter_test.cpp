// The row level meter: what its value lights on screen, in which colours,
// and its part as a connector's display.
#include "ui/widgets/level_meter.h"

#include "base/clock.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

enum class TSpot { Dark, Lime, Yellow, Red, DottedGreen, DottedOlive, DottedMaroon };

TSpot Classify(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (b > 40)
        return TSpot::Dark; // bevel greys
    if (r == 0 && g == 255)
        return TSpot::Lime;
    if (r == 255 && g == 255)
        return TSpot::Yellow;
    if (r == 255 && g == 0)
        return TSpot::Red;
    if (r == 0 && g == 128)
        return TSpot::DottedGreen;
    if (r == 128 && g == 128)
        return TSpot::DottedOlive;
    if (r == 128 && g == 0)
        return TSpot::DottedMaroon;
    return TSpot::Dark;
}

// Per column of the picture, the first coloured pixel found.
std::vector<TSpot> Columns(TMMLevel& level)
{
    const QImage image = level.grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::vector<TSpot> columns;
    for (int x = 0; x < image.width(); ++x) {
        TSpot found = TSpot::Dark;
        for (int y = 0; y < image.height() && found == TSpot::Dark; ++y)
            found = Classify(image.pixel(x, y));
        columns.push_back(found);
    }
    return columns;
}

int CountLit(const std::vector<TSpot>& columns)
{
    int lit = 0;
    for (TSpot spot : columns)
        lit += spot == TSpot::Lime || spot == TSpot::Yellow || spot == TSpot::Red;
    return lit;
}

int Count(const std::vector<TSpot>& columns, TSpot wanted)
{
    return int(std::count(columns.begin(), columns.end(), wanted));
}

TEST(LevelMeter, LitSpotsFollowTheValue)
{
    TMMLevel level;
    level.resize(level.sizeHint());
    EXPECT_EQ(level.size(), QSize(60, 20));
    level.SetValue(32768);
    const std::vector<TSpot> full = Columns(level);
    ASSERT_GT(CountLit(full), 20);
    EXPECT_EQ(full.front(), TSpot::Dark) << "the bevel frames the bar";
    EXPECT_GT(Count(full, TSpot::Lime), Count(full, TSpot::Yellow));
    EXPECT_GT(Count(full, TSpot::Yellow), Count(full, TSpot::Red));
    EXPECT_GT(Count(full, TSpot::Red), 0);

    level.SetValue(16384);
    EXPECT_EQ(CountLit(Columns(level)) * 2, CountLit(full));

    level.SetValue(0);
    const std::vector<TSpot> silent = Columns(level);
    EXPECT_EQ(CountLit(silent), 0);
    EXPECT_EQ(Count(silent, TSpot::DottedGreen), Count(full, TSpot::Lime)) << "the whole scale stays visible";
    EXPECT_EQ(Count(silent, TSpot::DottedOlive), Count(full, TSpot::Yellow));
    EXPECT_EQ(Count(silent, TSpot::DottedMaroon), Count(full, TSpot::Red));

    level.SetValue(1);
    EXPECT_GT(CountLit(Columns(level)), 0) << "any sound shows";
}

TEST(LevelMeter, ValueIsKeptWithinTheScaleOfTheBitLength)
{
    TMMLevel level;
    level.SetValue(40000);
    EXPECT_EQ(level.Value(), 32768);
    level.SetValue(-5);
    EXPECT_EQ(level.Value(), 0);
    level.SetValue(20000);
    level.SetBitLength(8);
    EXPECT_EQ(level.Value(), 128);
    EXPECT_EQ(level.LitSpots(), level.SpotCount());
}

TEST(LevelMeter, ConnectorScalesItAndForgetsItWhenDestroyed)
{
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    auto level = std::make_unique<TMMLevel>();
    level->SetBitLength(8);
    level->SetValue(100);
    connector.SetLevel2(level.get());
    EXPECT_EQ(level->BitLength(), 16);
    connector.Trigger();
    EXPECT_EQ(level->Value(), 0) << "no channel sounds nothing";
    level.reset();
    EXPECT_EQ(connector.Level2(), nullptr);
}

} // namespace
