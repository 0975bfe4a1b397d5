#pragma once
// Options > Headphones (3D audio) and Options > Output Device: how the 3D
// mixer's device is opened. Both choices are kept in the settings (the
// device by its name) and take effect at the device's next open; a device
// that is open now (a scheme playing) is reopened at once and plays on.
//
// Contract: user-interface thread. A device that cannot be opened or is
// gone leaves the default device in use, with a line in the status bar
// saying so; nothing is asked.

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QActionGroup;
class QMenu;
class QSettings;
class QWidget;
class TMMDSWaveMixer;

class TListeningOptions : public QObject {
    Q_OBJECT

public:
    using TStatus = std::function<void(const QString&)>;

    // mixer may be null (no sound device): every choice is then disabled.
    TListeningOptions(TMMDSWaveMixer* mixer, QSettings& settings, TStatus status, QObject* parent = nullptr);

    // The kept choices, applied to the closed device at start-up.
    void Restore();

    // Headphones on or off, kept. When the device then cannot render for
    // headphones, the status bar says why and plain stereo plays.
    void SetHeadphones(bool on);
    // The enabling rule of the Headphones command: its check mark and its
    // tooltip (why not, when it cannot be had).
    bool UpdateHeadphones(QAction* action) const;

    // The sub-menu of devices, the default first, filled afresh each time
    // it opens; owned by the caller's menu.
    QMenu* DeviceMenu(QWidget* parent);
    // Opens the mixer's device `id` (an index of its Devices()) and keeps
    // its name; a failure falls back to the default device.
    void ChooseDevice(int id);

    static constexpr const char* HeadphonesKey = "Headphones";
    static constexpr const char* DeviceKey = "OutputDevice"; // empty: the default device

private:
    void FillDeviceMenu(QMenu* menu);
    void UseDefaultDevice(const QString& why);

    TMMDSWaveMixer* m_mixer;
    QSettings& m_settings;
    TStatus m_status;
};
