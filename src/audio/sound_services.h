#pragma once
// The sound the window holds for the whole run: the 3D sound device, the 3D
// wave mixer on it with the program's settings, the catalogue's preview
// channel, and the system output volume control. Panels and dialogs take
// what they need from here; none of them owns a device.
//
// Contract: user-interface thread. Each step may fail on its own (no sound
// device, no output mixer) and raises its component's error; whatever was
// not made stays null and the rest of the program goes on without it.

#include <functional>
#include <memory>

class IClock;
class IMixerBackend;
class ISoundBackend;
class TMMAudioLine;
class TMMDSMixChannel;
class TMMDSWaveMixer;
class TMMMixerControl;
class TMMMixerDevice;

class TSoundServices {
public:
    using TSoundBackendFactory = std::function<std::unique_ptr<ISoundBackend>()>;
    using TMixerBackendFactory = std::function<std::unique_ptr<IMixerBackend>()>;

    explicit TSoundServices(IClock& clock);
    // Channels before their mixer, the mixer before its device.
    ~TSoundServices();
    TSoundServices(const TSoundServices&) = delete;
    TSoundServices& operator=(const TSoundServices&) = delete;

    // The device (unset factory: OpenAL Soft on the real output), the mixer
    // and the preview channel.
    void CreateSound(const TSoundBackendFactory& factory);
    // The output volume control (unset factory: ALSA). A factory that gives
    // no back end stands for a computer without a mixer: the control then
    // exists and reports itself unusable.
    void BindOutputVolume(const TMixerBackendFactory& factory);

    IClock& Clock() const { return m_clock; }
    TMMDSWaveMixer* WaveMixer() const { return m_waveMixer.get(); }
    TMMDSMixChannel* SampleChannel() const { return m_sampleChannel.get(); } // the catalogue's preview
    // The ending-pop repair's audition. It lives as long as the mixer: a
    // channel that goes closes the device, and every sound of the scheme
    // with it.
    TMMDSMixChannel* RepairChannel() const { return m_repairChannel.get(); }
    TMMMixerControl* VolumeControl() const { return m_volumeControl.get(); }

private:
    IClock& m_clock;
    std::unique_ptr<ISoundBackend> m_soundBackend;
    std::unique_ptr<TMMDSWaveMixer> m_waveMixer;
    std::unique_ptr<TMMDSMixChannel> m_sampleChannel;
    std::unique_ptr<TMMDSMixChannel> m_repairChannel;
    std::unique_ptr<TMMMixerDevice> m_mixerDevice;
    std::unique_ptr<TMMAudioLine> m_audioLine;
    std::unique_ptr<TMMMixerControl> m_volumeControl;
};
