#include "audio/waveform.h"

#include "audio/pcm_buffer.h"
#include "audio/riff_reader.h"
#include "audio/wave.h"
#include "audio/wave_file.h"

#include <algorithm>
#include <cstring>

std::vector<TWaveformPeak> WaveformPeaks(std::span<const uint8_t> image, int columns)
{
    if (columns <= 0)
        return {};
    TMMCustomMemoryWave memory;
    TMMWave& wave = memory.Wave();
    std::vector<uint8_t> pcm;
    TPcmBufferPlan plan;
    try {
        wave.LoadFromBytes(std::vector<uint8_t>(image.begin(), image.end()));
        plan = PlanPcmBuffer(wave);
        pcm.resize(plan.Bytes);
        pcm.resize(FillPcmBuffer(wave, plan, pcm.data(), plan.Bytes));
    } catch (const std::exception&) {
        return {};
    }
    const int bits = plan.Format->wBitsPerSample;
    const size_t width = static_cast<size_t>(std::max(bits / 8, 1));
    const size_t samples = pcm.size() / width;
    if (samples == 0)
        return {};
    // A sample as -1 .. 1: 8-bit PCM is unsigned, wider PCM signed.
    auto value = [&](size_t i) -> float {
        const uint8_t* at = pcm.data() + i * width;
        if (width == 1)
            return (static_cast<int>(at[0]) - 128) / 128.0f;
        int32_t top = 0; // the two most significant bytes carry enough
        std::memcpy(&top, at + width - 2, 2);
        return static_cast<int16_t>(top) / 32768.0f;
    };
    const size_t frame = std::max<size_t>(plan.Format->nChannels, 1);
    const size_t frames = samples / frame;
    std::vector<TWaveformPeak> peaks(static_cast<size_t>(columns));
    for (size_t c = 0; c < peaks.size(); ++c) {
        const size_t first = frames * c / peaks.size(), last = std::max(frames * (c + 1) / peaks.size(), first + 1);
        TWaveformPeak& peak = peaks[c];
        for (size_t f = first; f < std::min(last, frames); ++f)
            for (size_t ch = 0; ch < frame; ++ch) {
                const float v = value(f * frame + ch);
                peak.Low = std::min(peak.Low, v);
                peak.High = std::max(peak.High, v);
            }
    }
    return peaks;
}

double PlayableSeconds(std::span<const uint8_t> image)
{
    std::optional<TWaveInfo> info;
    try {
        info = ReadWaveInfo(image);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (!info || info->Format->nAvgBytesPerSec == 0)
        return -1;
    return static_cast<double>(info->DataBytes) / info->Format->nAvgBytesPerSec;
}
