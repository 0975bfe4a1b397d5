// The LED number and the gauge: value limits, sizes, and what actually ends
// up lit on screen.
#include "ui/widgets/gauge.h"
#include "ui/widgets/led_number.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

bool IsLit(QRgb p)
{
    return qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80;
}
bool IsBlack(QRgb p)
{
    return qRed(p) < 16 && qGreen(p) < 16 && qBlue(p) < 16;
}

QImage Render(QWidget& widget)
{
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

QImage RenderLed(int value, int digits = 1)
{
    TLedNumber led;
    led.SetDigits(digits);
    led.SetValue(value);
    led.resize(led.sizeHint());
    return Render(led);
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
    led.SetMax(30);
    EXPECT_EQ(led.Value(), 30) << "a lower Max pulls the value down";
    led.SetValue(60);
    EXPECT_EQ(led.Value(), 30);
    led.SetMax(-1);
    led.SetValue(60);
    EXPECT_EQ(led.Value(), 60);
    led.SetDigits(1);
    EXPECT_EQ(led.Value(), 9) << "fewer digits pull the value down";
    led.SetDigits(40);
    led.SetValue(2147483647);
    EXPECT_EQ(led.Value(), 999999999) << "digits stop where an int does";
}

TEST(LedNumber, SizeFollowsDigits)
{
    TLedNumber led;
    EXPECT_EQ(led.DigitWidth(), 8);
    EXPECT_EQ(led.DigitHeight(), 13);
    int previous = 0;
    for (int digits = 1; digits <= 6; ++digits) {
        led.SetDigits(digits);
        EXPECT_GT(led.sizeHint().width(), previous);
        EXPECT_GE(led.sizeHint().width(), digits * led.DigitWidth());
        EXPECT_GE(led.sizeHint().height(), led.DigitHeight());
        previous = led.sizeHint().width();
    }
}

TEST(LedNumber, LitSegmentsFollowTheValue)
{
    // Two segments lit for 1, six for 0 (no middle bar), seven for 8.
    const int one = CountLit(RenderLed(1));
    EXPECT_GT(one, 0);
    EXPECT_LT(one, CountLit(RenderLed(0)));
    EXPECT_LT(CountLit(RenderLed(0)), CountLit(RenderLed(8)));
    EXPECT_NE(RenderLed(2), RenderLed(5)) << "same count, mirrored segments";
    // Leading positions stay dark, a lone zero still shows.
    EXPECT_EQ(CountLit(RenderLed(7, 3)), CountLit(RenderLed(7)));
    EXPECT_EQ(CountLit(RenderLed(0, 3)), CountLit(RenderLed(0)));
    EXPECT_EQ(CountLit(RenderLed(88, 2)), 2 * CountLit(RenderLed(8)));

    // Unlit segments glow faintly, like a real LED panel.
    const QImage dark = RenderLed(1, 3);
    int dim = 0;
    for (int y = 0; y < dark.height(); ++y)
        for (int x = 0; x < dark.width(); ++x) {
            const QRgb p = dark.pixel(x, y);
            dim += qGreen(p) > 30 && qGreen(p) < 120 && qRed(p) < 16;
        }
    EXPECT_GT(dim, 0);
}

TEST(Gauge, ProgressIsClampedAndFillsItsShare)
{
    TGauge gauge;
    gauge.SetProgress(140);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.SetProgress(-1);
    EXPECT_EQ(gauge.Progress(), 0);

    gauge.resize(200, gauge.sizeHint().height());
    const int row = 3; // just inside the bevel, above the text
    const QImage empty = Render(gauge);
    EXPECT_TRUE(IsBlack(empty.pixel(20, row)));
    EXPECT_TRUE(IsBlack(empty.pixel(180, row)));
    EXPECT_GT(CountLit(empty), 0) << "0% is written on the black";

    gauge.SetProgress(50);
    const QImage half = Render(gauge);
    EXPECT_TRUE(IsLit(half.pixel(20, row)));
    EXPECT_TRUE(IsLit(half.pixel(90, row)));
    EXPECT_TRUE(IsBlack(half.pixel(110, row)));

    gauge.SetProgress(100);
    const QImage full = Render(gauge);
    EXPECT_TRUE(IsLit(full.pixel(180, row)));
    EXPECT_LT(CountLit(half), CountLit(full));
}
