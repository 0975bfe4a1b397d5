#pragma once
// TMMLevel: the small level meter of a scheme row. A horizontal bar of LED
// spots on black in a sunken bevel: lit spots lime, then yellow, then red
// towards full scale; the spots not reached are dotted in dark green, olive
// and maroon, so the scale stays visible when the channel is silent. The
// value maps linearly onto the spots; any value above 0 lights at least the
// first spot, so that a quiet sample still shows it sounds.
//
// It only shows what it is given: a TMMDSChannelConnector sets its scale and
// value on the user-interface thread.

#include "audio/level_connector.h"
#include "audio/wave.h"

#include <QWidget>

#include <cstdint>

class TMMLevel : public QWidget, public TMMLevelDisplay {
    Q_OBJECT
    Q_PROPERTY(int BitLength READ BitLength WRITE SetBitLength)
    Q_PROPERTY(int Value READ Value WRITE SetValue)
public:
    explicit TMMLevel(QWidget* parent = nullptr);

    // 8 or 16: full scale 128 or 32768. Other lengths take the nearer one.
    int BitLength() const { return m_bitLength; }
    void SetBitLength(int bits) override;
    int32_t FullScale() const { return int32_t(1) << (m_bitLength - 1); }
    // The kind of data the value is taken from, kept with the row's other
    // settings. A connector hands per-channel levels, so it does not change
    // the bar.
    TMMMode Mode() const { return m_mode; }
    void SetMode(TMMMode mode) { m_mode = mode; }

    // Clamped to 0 .. FullScale.
    int32_t Value() const { return m_value; }
    void SetValue(int32_t value) override;

    // Spots that fit the current width, and how many of them the value lights.
    int SpotCount() const;
    int LitSpots() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect SpotArea() const;

    int m_bitLength = 16;
    TMMMode m_mode = TMMMode::mStereo;
    int32_t m_value = 0;
};
