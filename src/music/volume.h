#pragma once
// The gain stage of a playback chain: scales the PCM that passes through it
// in place, with a left and a right gain derived from Volume and Panning.

#include "music/dsp_component.h"

#include <cstdint>

class EMMVolumeError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

class TMMVolume : public TMMDSPComponent {
public:
    static constexpr int32_t UnityGain = 16384;
    static constexpr int32_t MaxVolume = 32768;
    static constexpr int32_t MaxPanning = 16384;

    TMMVolume() = default;

    // 0 .. 32768, 16384 being unity gain; out-of-range values are clamped.
    int32_t Volume() const { return m_volume; }
    void SetVolume(int32_t volume);
    // -16384 (left only) .. 16384 (right only); clamped.
    int32_t Panning() const { return m_panning; }
    void SetPanning(int32_t panning);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    int32_t LeftGain() const { return m_leftGain; }
    int32_t RightGain() const { return m_rightGain; }
    // Set while the stage is open with a format it can scale.
    bool Active() const { return m_active; }
    // How many buffers the scaling loop has run over; a unity gain skips it.
    uint64_t ScaledBuffers() const { return m_scaledBuffers; }

    // PCM with 8 or 16 bits, 1, 2 or 4 channels, 4000 .. 100000 Hz.
    static bool CanScale(const WAVEFORMATEX& format);

    // Refuses a format it cannot scale with "Invalid WaveFormat"; none at all
    // is accepted.
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void Open() override;
    void Close() override;
    void BufferLoad(TMMBuffer& buffer, bool& moreBuffers) override;
    void BufferReady(TMMBuffer& buffer) override;

private:
    void UpdateGains();
    void Scale(TMMBuffer& buffer);

    int32_t m_volume = UnityGain;
    int32_t m_panning = 0;
    bool m_enabled = true;
    int32_t m_leftGain = UnityGain;
    int32_t m_rightGain = UnityGain;
    bool m_active = false;
    uint64_t m_scaledBuffers = 0;
};
