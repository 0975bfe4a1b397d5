#pragma once
// A mix channel: a memory wave that the 3D mixer can play. Its first Play
// builds one platform buffer holding the whole sample, placed in space by
// Sound3D; later plays reuse it until the wave changes (a load or clear
// releases it) or the device closes. OnPlayEnd tells the end of every
// play, and whether it ran out or was stopped.
//
// Contract: user-interface thread only. A channel without a Mixer, or with
// an empty wave, never plays and opens nothing. Destroying a channel
// closes its mixer's device, which stops every other channel of that mixer
// (with its OnPlayEnd) and makes each build its buffer again at its next
// Play; the dying channel reports nothing. Mixer and channel may go in
// either order: a mixer that goes first clears its channels' Mixer.

#include "audio/ds_3d.h"
#include "audio/ds_mixer.h"
#include "audio/level_source.h"
#include "audio/wave_file.h"

#include <cstdint>
#include <functional>

class TMMDSMixChannel : public TMMCustomMemoryWave, public ILevelSource {
public:
    using TPlayEndEvent = std::function<void(TMMDSMixChannel& sender, TMMDSPlayEnd reason)>;

    explicit TMMDSMixChannel(TMMDSWaveMixer* mixer = nullptr);
    ~TMMDSMixChannel() override;

    TMMDSWaveMixer* Mixer() const { return m_mixer; }
    // Moving to another mixer releases the buffer built by the old one.
    void SetMixer(TMMDSWaveMixer* mixer);

    // Builds the buffer when needed and plays it; a playing channel starts
    // again from its first sample and reports nothing for the cut play.
    void Play();
    void Stop();
    bool IsPlaying() override;
    // Opens the device and builds the platform buffer when the channel has
    // a mixer and a sample and no buffer yet.
    void PrepareBuffer();

    uint32_t PlayCursor() override { return m_buffer.PlayCursor(); }
    void SetPlayCursor(uint32_t bytes) { m_buffer.SetPlayCursor(bytes); }
    int32_t Volume() override { return m_buffer.Volume(); }
    void SetVolume(int32_t volume) { m_buffer.SetVolume(volume); }
    int32_t Panning() override { return m_buffer.Panning(); }
    void SetPanning(int32_t panning) { m_buffer.SetPanning(panning); }
    int32_t Frequency() { return m_buffer.Frequency(); }
    void SetFrequency(int32_t frequency) { m_buffer.SetFrequency(frequency); }
    bool Muted() const override { return m_buffer.Muted(); }
    void SetMuted(bool muted) { m_buffer.SetMuted(muted); }
    bool Looping() { return m_buffer.Looping(); }
    void SetLooping(bool looping) { m_buffer.SetLooping(looping); }

    TMMDS3DBuffer& Sound3D() { return m_sound3D; }
    TMMDSSoundBuffer& SoundBuffer() { return m_buffer; }

    void SetOnPlayEnd(TPlayEndEvent handler) { m_onPlayEnd = std::move(handler); }
    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }

    const TMMWave& LevelWave() const override { return Wave(); }

private:
    friend class TMMDSWaveMixer;

    void RaisePlayEnd(TMMDSPlayEnd reason);

    TMMDSWaveMixer* m_mixer = nullptr;
    TMMDSSoundBuffer m_buffer;
    // After the buffer, so that the 3D interface goes before the buffer it
    // came from.
    TMMDS3DBuffer m_sound3D;
    TPlayEndEvent m_onPlayEnd;
    int m_tag = 0;
    bool m_dying = false;
};
