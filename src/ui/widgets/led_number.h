#pragma once
// A row of seven-segment LED digits: lime segments lit on black, the unlit
// ones left faintly green as on a real LED panel, so that leading positions
// read as dark 8s. Used for loop and play times on the Frequency page.

#include <QWidget>

class TLedNumber : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Digits READ Digits WRITE SetDigits)
    Q_PROPERTY(int Value READ Value WRITE SetValue)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int DigitWidth READ DigitWidth WRITE SetDigitWidth)
    Q_PROPERTY(int DigitHeight READ DigitHeight WRITE SetDigitHeight)
public:
    explicit TLedNumber(QWidget* parent = nullptr);

    int Digits() const { return m_digits; }
    // 1..9, so that every shown number fits an int.
    void SetDigits(int digits);

    int Value() const { return m_value; }
    // Clamped to 0..10^Digits-1 and, when a Max is set, to Max.
    void SetValue(int value);

    // -1 (the default) sets no limit beyond the digits.
    int Max() const { return m_max; }
    void SetMax(int max);

    int DigitWidth() const { return m_digitWidth; }
    void SetDigitWidth(int width);
    int DigitHeight() const { return m_digitHeight; }
    void SetDigitHeight(int height);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int Limit() const;
    int DigitGap() const;
    void PaintDigit(QPainter& painter, const QPoint& origin, int digit) const;

    int m_digits = 3;
    int m_value = 0;
    int m_max = -1;
    int m_digitWidth = 8;
    int m_digitHeight = 13;
};
