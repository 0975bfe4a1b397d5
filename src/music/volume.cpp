#include "music/volume.h"

#include <algorithm>

void TMMVolume::SetVolume(int32_t volume)
{
    m_volume = std::clamp(volume, 0, MaxVolume);
    UpdateGains();
}

void TMMVolume::SetPanning(int32_t panning)
{
    m_panning = std::clamp(panning, -MaxPanning, MaxPanning);
    UpdateGains();
}

void TMMVolume::UpdateGains()
{
    // Panning only ever lowers the far side; the near side keeps Volume.
    if (m_panning <= 0) {
        m_leftGain = m_volume;
        m_rightGain = MulDivRound(m_volume, UnityGain + m_panning, UnityGain);
    } else {
        m_leftGain = MulDivRound(m_volume, UnityGain - m_panning, UnityGain);
        m_rightGain = m_volume;
    }
}

bool TMMVolume::CanScale(const WAVEFORMATEX& format)
{
    return format.wFormatTag == WAVE_FORMAT_PCM && (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           (format.nChannels == 1 || format.nChannels == 2 || format.nChannels == 4) && format.nSamplesPerSec >= 4000 &&
           format.nSamplesPerSec <= 100000;
}

void TMMVolume::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (format && !CanScale(*format))
        throw EMMVolumeError("Invalid WaveFormat");
    TMMDSPComponent::SetWaveFormat(format);
}

void TMMVolume::Open()
{
    TMMDSPComponent::Open();
    m_active = WaveFormat() && CanScale(*WaveFormat());
}

void TMMVolume::Close()
{
    TMMDSPComponent::Close();
    m_active = false;
}

void TMMVolume::BufferLoad(TMMBuffer& buffer, bool& moreBuffers)
{
    TMMDSPComponent::BufferLoad(buffer, moreBuffers);
    if (m_enabled && m_active)
        Scale(buffer);
}

void TMMVolume::BufferReady(TMMBuffer& buffer)
{
    if (m_enabled && m_active)
        Scale(buffer);
    TMMDSPComponent::BufferReady(buffer);
}

namespace {

int32_t ScaleSample(int32_t sample, int32_t gain, int32_t low, int32_t high)
{
    // Arithmetic shift: negative samples round towards minus infinity.
    return std::clamp((sample * gain) >> 14, low, high);
}

} // namespace

void TMMVolume::Scale(TMMBuffer& buffer)
{
    const WAVEFORMATEX* format = WaveFormat();
    if (!format || !buffer.Data)
        return;
    const uint32_t channels = format->nChannels;
    // Even channels take the left gain, odd ones the right: stereo alternates
    // per pair, and four channels (front pair, rear pair) pan like two pairs.
    if (m_leftGain == UnityGain && (channels == 1 || m_rightGain == UnityGain))
        return;

    const uint32_t sampleBytes = format->wBitsPerSample / 8;
    const uint32_t frameBytes = sampleBytes * channels;
    const uint32_t used = std::min(buffer.BytesUsed, buffer.Size);
    // Bytes after the last whole frame are left as they are.
    const uint32_t frames = used / frameBytes;
    ++m_scaledBuffers;

    uint8_t* p = buffer.Data;
    for (uint32_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c, p += sampleBytes) {
            const int32_t gain = (c % 2 == 0) ? m_leftGain : m_rightGain;
            if (sampleBytes == 2) {
                const int32_t s = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
                const auto v = static_cast<uint16_t>(static_cast<int16_t>(ScaleSample(s, gain, -32768, 32767)));
                p[0] = static_cast<uint8_t>(v & 0xFF);
                p[1] = static_cast<uint8_t>(v >> 8);
            } else {
                p[0] = static_cast<uint8_t>(ScaleSample(p[0] - 128, gain, -128, 127) + 128);
            }
        }
    }
}
