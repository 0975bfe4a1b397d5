// The LED number and the gauge: value limits, sizes, and what actually ends
// up lit on screen.
#include "app/widgets/gauge.h"
#include "app/widgets/led_number.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

bool IsLit(QRgb pixel)
{
    return qGreen(pixel) > 200 && qRed(pixel) < 80 && qBlue(pixel) < 80;
}

bool IsBlack(QRgb pixel)
{
    return qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
}

QImage Render(QWidget& widget)
{
    widget.resize(widget.sizeHint());
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountLit(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += IsLit(image.pixel(x, y));
    return lit;
}

int LitAt(int value, int digits = 1)
{
    TLedNumber led;
    led.SetDigits(digits);
    led.SetValue(value);
    return CountLit(Render(led));
}

} // namespace

TEST(LedNumber, ValueIsClampedToDigitsAndMax)
{
    TLedNumber led;
    led.SetDigits(2);
    led.SetValue(150);
    EXPECT_EQ(led.Value(), 99);
    led.SetValue(-5);
    EXPECT_EQ(led.Value(), 0);
    led.SetValue(42);
    EXPECT_EQ(led.Value(), 42);

    led.SetMax(30);
    EXPECT_EQ(led.Value(), 30) << "a lower Max pulls the value down";
    led.SetValue(60);
    EXPECT_EQ(led.Value(), 30);
    led.SetMax(-1);
    led.SetValue(60);
    EXPECT_EQ(led.Value(), 60);

    led.SetDigits(1);
    EXPECT_EQ(led.Value(), 9) << "fewer digits pull the value down";

    led.SetDigits(9);
    led.SetValue(2147483647);
    EXPECT_EQ(led.Value(), 999999999);
    led.SetDigits(40);
    EXPECT_EQ(led.Digits(), 9);
}

TEST(LedNumber, DefaultsAndSizeFollowDigits)
{
    TLedNumber led;
    EXPECT_EQ(led.DigitWidth(), 8);
    EXPECT_EQ(led.DigitHeight(), 13);
    int previous = 0;
    for (int digits = 1; digits <= 6; ++digits) {
        led.SetDigits(digits);
        const QSize hint = led.sizeHint();
        EXPECT_GT(hint.width(), previous);
        EXPECT_GE(hint.width(), digits * led.DigitWidth());
        EXPECT_GE(hint.height(), led.DigitHeight());
        previous = hint.width();
    }
    const QSize small = led.sizeHint();
    led.SetDigitHeight(26);
    EXPECT_GT(led.sizeHint().height(), small.height());
}

TEST(LedNumber, LitSegmentsFollowTheValue)
{
    // Seven segments lit for 8, six for 0 (no middle bar), two for 1.
    const int one = LitAt(1);
    const int zero = LitAt(0);
    const int eight = LitAt(8);
    EXPECT_GT(one, 0);
    EXPECT_LT(one, zero);
    EXPECT_LT(zero, eight);
    // Same segment count, different segments: 2 and 5 mirror each other.
    TLedNumber two;
    two.SetDigits(1);
    two.SetValue(2);
    TLedNumber five;
    five.SetDigits(1);
    five.SetValue(5);
    EXPECT_NE(Render(two), Render(five));
}

TEST(LedNumber, LeadingPositionsStayDark)
{
    // 7 and 007 light the same segments: the leading zeros are not drawn lit.
    EXPECT_EQ(LitAt(7, 3), LitAt(7, 1));
    EXPECT_EQ(LitAt(0, 3), LitAt(0, 1)) << "a lone zero still shows";
    EXPECT_EQ(LitAt(88, 2), 2 * LitAt(8, 1));

    // Unlit segments still glow faintly, like a real LED panel.
    TLedNumber led;
    led.SetDigits(3);
    const QImage image = Render(led);
    int dim = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            dim += !IsLit(p) && qGreen(p) > 30 && qRed(p) < 16 && qBlue(p) < 16;
        }
    EXPECT_GT(dim, 0);
}

TEST(Gauge, ProgressIsClamped)
{
    TGauge gauge;
    EXPECT_EQ(gauge.Progress(), 0);
    gauge.SetProgress(55);
    EXPECT_EQ(gauge.Progress(), 55);
    gauge.SetProgress(140);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.SetProgress(-1);
    EXPECT_EQ(gauge.Progress(), 0);
}

TEST(Gauge, BarCoversItsShareOfTheWidth)
{
    TGauge gauge;
    gauge.resize(200, gauge.sizeHint().height());
    // A row just inside the bevel, above the text.
    const int row = 3;
    auto image = [&gauge](int progress) {
        gauge.SetProgress(progress);
        return gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };

    const QImage empty = image(0);
    EXPECT_TRUE(IsBlack(empty.pixel(20, row)));
    EXPECT_TRUE(IsBlack(empty.pixel(180, row)));

    const QImage half = image(50);
    EXPECT_TRUE(IsLit(half.pixel(20, row)));
    EXPECT_TRUE(IsLit(half.pixel(90, row)));
    EXPECT_TRUE(IsBlack(half.pixel(110, row)));
    EXPECT_TRUE(IsBlack(half.pixel(180, row)));

    const QImage full = image(100);
    EXPECT_TRUE(IsLit(full.pixel(180, row)));
    EXPECT_LT(CountLit(empty), CountLit(half));
    EXPECT_LT(CountLit(half), CountLit(full));
}

TEST(Gauge, PercentageIsWrittenInTheMiddle)
{
    TGauge gauge;
    gauge.resize(200, gauge.sizeHint().height());
    gauge.SetProgress(0);
    const QImage image = gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // At 0 % only the text is lit, and it sits around the centre.
    int left = image.width();
    int right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsLit(image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, left) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0, image.width() / 2.0, 6.0);
}
