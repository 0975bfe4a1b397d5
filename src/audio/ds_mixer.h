#pragma once
// The 3D wave mixer: one sound device, its primary buffer and listener, and
// the list of sound buffers that currently hold a platform buffer. Every
// playable sound is a mix channel (ds_channel.h) whose TMMDSSoundBuffer the
// mixer fills with the channel's whole sample, plays, stops and watches: a
// 50 ms end poll on the injected clock runs while any started play has not
// been seen to end, and reports each end once.
//
// Contract: user-interface thread only; no lock. Errors are raised as
// EMMDSWaveMixError, EDSMixError, EOutOfResources or EDirectSoundError and
// leave a failed OpenDevice closed. End reports (OnBufferEnd, then the
// record's end callback) may play, stop, reload or destroy channels, also
// the one reported; they must not destroy the mixer. No report is made
// while the mixer is being destroyed.

#include "audio/backends/sound_backend.h"
#include "audio/ds_3d.h"
#include "audio/mm_object.h"
#include "audio/pcm_buffer.h"
#include "audio/wave.h"
#include "base/clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class TMMDSLevel { prNormal, prPriority, prExclusive };
enum class TMMDSSpeakerConfig { scHeadphone, scMono, scQuad, scStereo, scSurround };
enum class TMMBits { b8Bit, b16Bit };

// Why a play ended: it ran to the end of its sample, or it was stopped
// (Stop, a reload of the wave, the device closing).
enum class TMMDSPlayEnd { peFinished, peStopped };

class TMMDSWaveMixer;
class TMMDSMixChannel;

// The device's capability record as read when a device was selected.
class TMMDSSoundCaps : public TMMObject {
public:
    const TDSCaps& Record() const { return m_caps; }

private:
    friend class TMMDSWaveMixer;
    TDSCaps m_caps;
};

// The mixer's record of one platform sound buffer. Whoever makes it owns
// it (each channel owns one); the mixer only lists it while it holds a
// platform buffer, and never destroys it.
class TMMDSSoundBuffer : public TMMObject {
public:
    using TEndCallback = std::function<void(TMMDSPlayEnd reason)>;
    using TReleaseCallback = std::function<void()>;

    TMMDSSoundBuffer();
    // Leaves the mixer's list without any callback.
    ~TMMDSSoundBuffer() override;

    const std::string& Name() const { return m_name; }
    TMMWave* Wave() const { return m_wave; }
    ISoundBuffer* PlatformBuffer() const { return m_platform.get(); }
    // The mixer whose list holds this record, or nullptr.
    TMMDSWaveMixer* Mixer() const { return m_mixer; }

    // Hundredths of a decibel, -10000..0. While muted the stored value is
    // kept and silence is sent.
    int32_t Volume();
    void SetVolume(int32_t volume);
    // -10000 (left) .. 10000 (right).
    int32_t Panning();
    void SetPanning(int32_t panning);
    // Hz, 0..100000; 0 plays at the wave's own rate.
    int32_t Frequency();
    void SetFrequency(int32_t frequency);
    bool Muted() const { return m_muted; }
    void SetMuted(bool muted);
    // Changing it while playing re-issues the play; playback continues.
    bool Looping();
    void SetLooping(bool looping);

    // Set by PlayBuffer, cleared when the end is seen or the buffer stopped.
    bool Playing() const { return m_playing; }
    // The platform's own answer; false without a platform buffer.
    bool IsPlaying();
    // Bytes from the start of the buffer: the platform's cursor while a
    // platform buffer exists, otherwise the last one read or set.
    uint32_t PlayCursor();
    void SetPlayCursor(uint32_t bytes);

    void SetOnEnd(TEndCallback callback) { m_onEnd = std::move(callback); }
    void SetOnRelease(TReleaseCallback callback) { m_onRelease = std::move(callback); }

private:
    friend class TMMDSWaveMixer;

    std::string m_name;
    TMMWave* m_wave = nullptr;
    TPcmBufferPlan m_plan;
    std::unique_ptr<ISoundBuffer> m_platform;
    TMMDSWaveMixer* m_mixer = nullptr;
    int32_t m_volume = 0;
    int32_t m_panning = 0;
    int32_t m_frequency = 0;
    bool m_muted = false;
    bool m_looping = false;
    bool m_playing = false;
    uint32_t m_cursor = 0;
    TEndCallback m_onEnd;
    TReleaseCallback m_onRelease;
    // Cleared by the destructor: a report in progress can tell that a
    // handler destroyed the record.
    std::shared_ptr<bool> m_alive;
};

class TMMDSWaveMixer {
public:
    using TBufferLostEvent = std::function<void(TMMDSWaveMixer& sender, TMMDSSoundBuffer& buffer, bool& abort)>;
    using TBufferEndEvent = std::function<void(TMMDSWaveMixer& sender, TMMDSSoundBuffer& buffer)>;

    static constexpr int NoDevice = -2;
    static constexpr int EndPollMs = 50;
    static constexpr int32_t MinSampleRate = 8000;
    static constexpr int32_t MaxSampleRate = 100000;
    static constexpr uint32_t SecondaryFlags = 0x1C0E2;   // static, frequency, pan, volume, focus, cursor
    static constexpr uint32_t Secondary3DFlags = 0x1C0B2; // 3D control in place of pan
    static constexpr uint32_t SecondaryPlainFlags = 0xE2; // static, frequency, pan, volume

    // Enumerates the back end's devices and selects device 0, which opens
    // the device briefly to read its capabilities: a device that cannot be
    // opened makes the mixer fail here. Both references must outlive the
    // mixer.
    explicit TMMDSWaveMixer(ISoundBackend& backend, IClock& clock = DefaultClock());
    ~TMMDSWaveMixer();
    TMMDSWaveMixer(const TMMDSWaveMixer&) = delete;
    TMMDSWaveMixer& operator=(const TMMDSWaveMixer&) = delete;

    // Level, DeviceID and Use3D raise "Change to property while device was
    // open" while the device is open.
    TMMDSLevel Level() const { return m_level; }
    void SetLevel(TMMDSLevel level);
    // Sent to an open device at once, otherwise at the next OpenDevice.
    TMMDSSpeakerConfig SpeakerConfiguration();
    void SetSpeakerConfiguration(TMMDSSpeakerConfig config);
    // The primary format; applied only above prNormal.
    TMMBits BitLength() const { return m_bitLength; }
    void SetBitLength(TMMBits bits);
    int32_t SampleRate() const { return m_sampleRate; }
    void SetSampleRate(int32_t rate);
    TMMMode Mode() const { return m_mode; }
    void SetMode(TMMMode mode);
    bool Use3D() const { return m_use3D; }
    void SetUse3D(bool use3D);
    TMMDS3DListener& Sound3D() { return m_listener; }
    // The index in Devices(), or NoDevice.
    int DeviceID() const { return m_deviceId; }
    void SetDeviceID(int id);
    const std::string& ProductName() const { return m_productName; }
    const TMMDSSoundCaps& SoundCaps() const { return m_caps; }
    const std::vector<TSoundDeviceEntry>& Devices() const { return m_devices; }
    // Headphone rendering (3D audio through HRTF) for the next OpenDevice.
    // Raises while the device is open, as DeviceID does.
    bool Headphones() const { return m_headphones; }
    void SetHeadphones(bool on);
    // Why the device opened last cannot render for headphones; empty when
    // it can. A device that cannot opens as plain stereo all the same.
    std::string HeadphonesUnavailable() const { return m_backend.HeadphonesUnavailable(); }
    // Closes the device and opens it again after `change` (a new DeviceID,
    // headphones on or off): every channel that was playing plays on from
    // where it was, with no end report between, so a playing scheme goes
    // on. A closed device only takes the change. When the device cannot be
    // opened again, the channels that were playing report a stopped end and
    // the error is raised.
    void ReopenDevice(const std::function<void()>& change);

    void SetOnBufferLost(TBufferLostEvent handler) { m_onBufferLost = std::move(handler); }
    void SetOnBufferEnd(TBufferEndEvent handler) { m_onBufferEnd = std::move(handler); }

    bool IsOpen() const { return m_device != nullptr; }
    void OpenDevice();
    // Frees every listed buffer (playing ones stop with their end report).
    void CloseDevice();
    void ApplyPrimaryFormat();

    // Builds the record's platform buffer from the wave (a buffer the
    // record already has is removed first) and lists it. A fill that fails
    // leaves the record without a platform buffer and raises nothing.
    void AddBuffer(const std::string& name, TMMWave& wave, TMMDSSoundBuffer& buffer);
    std::string UniqueBufferName(const std::string& name) const;
    // Raises "DirectSoundBuffer Lock failed" after releasing the platform
    // buffer when the lock is refused.
    void FillBuffer(TMMDSSoundBuffer& buffer);
    // Each does nothing for nullptr, for a record of another mixer and for
    // a record without a platform buffer.
    void PlayBuffer(TMMDSSoundBuffer* buffer);
    void StopBuffer(TMMDSSoundBuffer* buffer);
    void RemoveBuffer(TMMDSSoundBuffer* buffer);
    // RemoveBuffer: the record itself belongs to whoever made it.
    void FreeBuffer(TMMDSSoundBuffer* buffer);
    // One tick of the end poll; the clock calls it.
    void EndPoll();
    // Started plays whose end has not been seen yet.
    int ActivePlays() const { return m_activePlays; }
    size_t BufferCount() const { return m_buffers.size(); }
    TMMDSSoundBuffer* Buffer(size_t index) const { return m_buffers.at(index); }

private:
    friend class TMMDSSoundBuffer;
    friend class TMMDSMixChannel;

    bool IsListed(const TMMDSSoundBuffer* buffer) const;
    void CreatePrimaryBuffer();
    void ReadCaps();
    // Takes the record off the list without any callback (its destructor).
    void Forget(TMMDSSoundBuffer& buffer);
    // Ends the record's accounting, runs its release callback and drops the
    // platform buffer.
    void ReleasePlatformBuffer(TMMDSSoundBuffer& buffer);
    void CountStart();
    void CountEnd();
    void ReportEnd(TMMDSSoundBuffer& buffer, TMMDSPlayEnd reason);
    void RegisterChannel(TMMDSMixChannel* channel);
    void UnregisterChannel(TMMDSMixChannel* channel);

    ISoundBackend& m_backend;
    IClock& m_clock;
    TMMDSLevel m_level = TMMDSLevel::prPriority;
    TMMDSSpeakerConfig m_speakerConfig = TMMDSSpeakerConfig::scStereo;
    TMMBits m_bitLength = TMMBits::b8Bit;
    int32_t m_sampleRate = 11025;
    TMMMode m_mode = TMMMode::mMono;
    bool m_use3D = false;
    bool m_headphones = false;
    bool m_reopening = false; // no end reports while the device is reopened
    int m_deviceId = 0;
    std::string m_productName;
    TMMDSSoundCaps m_caps;
    std::vector<TSoundDeviceEntry> m_devices;
    TBufferLostEvent m_onBufferLost;
    TBufferEndEvent m_onBufferEnd;

    std::unique_ptr<ISoundDevice> m_device;
    std::unique_ptr<IPrimaryBuffer> m_primary;
    // After the device, so that its interface goes first.
    TMMDS3DListener m_listener;
    std::vector<TMMDSSoundBuffer*> m_buffers;
    std::vector<TMMDSMixChannel*> m_channels;
    int m_activePlays = 0;
    IClock::TTimerId m_pollTimer = 0;
    bool m_closing = false;
    bool m_destroying = false;
};
