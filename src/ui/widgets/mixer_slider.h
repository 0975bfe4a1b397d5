#pragma once
// A horizontal slider bound to a fader control of the platform mixer, such
// as the main volume. It maps the control's range onto S slider steps (the
// control's own step count, or 32 when it has none) and writes every move
// straight to the control. It reads the control only when it is set up, so
// it does not follow changes made elsewhere.
//
// When there is nothing it can drive (no control, not found, cfDisabled,
// an item that does not fit, an empty range, or switched off with
// SetEnabled) it is disabled and sits in the middle of 0 .. 2. Its own
// on/off setting is SetEnabled; QWidget::setEnabled is what the setup drives
// and should not be called by others.

#include <QSlider>

#include <cstdint>

class TMMMixerControl;

class TMMMixerSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int Channel READ Channel WRITE SetChannel)
    Q_PROPERTY(int Item READ Item WRITE SetItem)
public:
    explicit TMMMixerSlider(QWidget* parent = nullptr);

    // Not owned; it must outlive the binding. Raises EMMMCIError "Invalid
    // control class" for a control that is not a fader, keeping the
    // previous one. Setting up reads the control's value and so raises what
    // that read raises.
    TMMMixerControl* Control() const { return m_control; }
    void SetControl(TMMMixerControl* control);
    // 0 is all channels as one.
    int Channel() const { return m_channel; }
    void SetChannel(int channel);
    // -1 for a control without multiple items.
    int Item() const { return m_item; }
    void SetItem(int item);
    bool Enabled() const { return m_enabledSetting; }
    void SetEnabled(bool enabled);

    // Every setter above runs it; call it again after looking the control up
    // anew.
    void Setup();

protected:
    void sliderChange(SliderChange change) override;

private:
    void ShowUnavailable();

    TMMMixerControl* m_control = nullptr;
    int m_channel = 0;
    int m_item = -1;
    bool m_enabledSetting = true;
    // What the last setup found: whether moves go to the control, and the
    // mapping they go through.
    bool m_active = false;
    double m_step = 0;
    int32_t m_minimum = 0;
    int32_t m_maximum = 0;
    bool m_inSetup = false;
};
