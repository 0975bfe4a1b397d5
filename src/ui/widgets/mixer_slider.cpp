#include "ui/widgets/mixer_slider.h"

#include "audio/mixer_control.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace {

// Used when the control has no step count of its own.
constexpr int kDefaultSteps = 32;

// Black groove and thumb, the thumb edged in lime while it can be moved.
const char* const kStyle = R"(
QSlider::groove:horizontal { background: black; border: 1px solid #505050; height: 4px; }
QSlider::sub-page:horizontal { background: #00a000; border: 1px solid #505050; height: 4px; }
QSlider::handle:horizontal { background: black; border: 1px solid lime; width: 8px; margin: -6px 0; }
QSlider::sub-page:horizontal:disabled { background: black; }
QSlider::handle:horizontal:disabled { border: 1px solid #505050; }
)";

// Nearest, halves to even: nearbyint in the default rounding mode.
double RoundHalfEven(double value)
{
    return std::nearbyint(value);
}

class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~TFlagScope() { m_flag = m_old; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

TMMMixerSlider::TMMMixerSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setStyleSheet(QString::fromLatin1(kStyle));
    Setup();
}

void TMMMixerSlider::SetControl(TMMMixerControl* control)
{
    if (control && !IsFaderControl(control->ControlType()))
        throw EMMMCIError("Invalid control class");
    m_control = control;
    Setup();
}

void TMMMixerSlider::SetChannel(int channel)
{
    m_channel = channel;
    Setup();
}

void TMMMixerSlider::SetItem(int item)
{
    m_item = item;
    Setup();
}

void TMMMixerSlider::SetEnabled(bool enabled)
{
    m_enabledSetting = enabled;
    Setup();
}

void TMMMixerSlider::Setup()
{
    const TFlagScope inSetup(m_inSetup);
    m_active = false;
    if (!m_control || !m_enabledSetting || !m_control->Found()) {
        ShowUnavailable();
        return;
    }
    const TMMControlInfo& info = m_control->Info();
    const bool multiple = info.Flags.Contains(TMMControlFlag::cfMultiple);
    const bool itemFits = multiple ? m_item >= 0 && m_item < info.Items : m_item == -1;
    // An empty range has no step to divide by; it cannot be moved either.
    if (info.Flags.Contains(TMMControlFlag::cfDisabled) || !itemFits || info.Maximum <= info.Minimum) {
        ShowUnavailable();
        return;
    }
    const int steps = info.Steps > 0 ? info.Steps : kDefaultSteps;
    // In double: max - min can exceed 32 bits.
    const double span = static_cast<double>(info.Maximum) - info.Minimum;
    const double step = span / steps;
    int32_t value = 0;
    try {
        value = m_control->GetValue(m_channel, m_item);
    } catch (...) {
        ShowUnavailable();
        throw;
    }
    m_step = step;
    m_minimum = info.Minimum;
    m_maximum = info.Maximum;
    setEnabled(true);
    setRange(0, static_cast<int>(RoundHalfEven(span / step)));
    setValue(static_cast<int>(std::clamp(RoundHalfEven((value - static_cast<double>(m_minimum)) / step), 0.0,
                                         static_cast<double>(maximum()))));
    m_active = true;
}

void TMMMixerSlider::ShowUnavailable()
{
    m_active = false;
    setEnabled(false);
    setRange(0, 2);
    setValue(1);
}

void TMMMixerSlider::sliderChange(SliderChange change)
{
    QSlider::sliderChange(change);
    if (change != SliderValueChange || m_inSetup)
        return;
    if (!m_active) {
        // Nothing to write to (a disabled control among them): put back
        // what the setup shows, once this change has been told to its
        // listeners, so that the last value they hear is the one shown.
        QMetaObject::invokeMethod(
            this, [this] { Setup(); }, Qt::QueuedConnection);
        return;
    }
    const double raw = RoundHalfEven(value() * m_step + m_minimum);
    // The product can land a hair outside the range in floating point.
    const auto written =
        static_cast<int32_t>(std::clamp(raw, static_cast<double>(m_minimum), static_cast<double>(m_maximum)));
    m_control->SetValue(written, m_channel, m_item);
}
