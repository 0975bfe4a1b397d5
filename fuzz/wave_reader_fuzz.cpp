// links: ambitone_audio
// LoadFromStream over arbitrary bytes, and over the same bytes as the chunk
// list of a RIFF WAVE image (so that the walk is reached without seeds),
// then every unit conversion on the format found. A load either fails
// cleanly, leaving the wave empty, or describes an image whose sample data
// lies inside it; anything else traps.
#include "audio/wave.h"

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void ConvertWith(const WAVEFORMATEX& format, int32_t value)
{
    auto attempt = [](auto&& conversion) {
        try {
            conversion();
        } catch (const EMMWaveError&) {
            // Division by zero and 32-bit overflow are reported, not undefined.
        }
    };
    attempt([&] { WaveBytesToSamples(format, value); });
    attempt([&] { WaveSamplesToBytes(format, value); });
    attempt([&] { WaveSamplesToMs(format, value); });
    attempt([&] { WaveMsToSamples(format, value); });
    attempt([&] { WaveMsToBytes(format, value); });
}

void LoadImage(const std::string& image, int32_t probe)
{
    TMMWave wave;
    wave.CreateMemoryStore();
    std::istringstream stream(image);
    try {
        wave.LoadFromStream(stream);
    } catch (const EMMWaveError&) {
        Check(wave.WaveInfo() == nullptr && wave.FileSize() == 0 && wave.SampleData() == nullptr);
        return;
    }
    const TWaveInfo* info = wave.WaveInfo();
    Check(info != nullptr);
    Check(info->FileSize == image.size());
    Check(static_cast<uint64_t>(info->DataOffset) + info->DataBytes <= info->FileSize);
    Check(info->LastSample == static_cast<int32_t>(info->SampleCount));

    // Every sample byte is read, so that the sanitizer sees the range.
    const uint8_t* samples = wave.SampleData();
    unsigned sum = 0;
    for (uint32_t i = 0; i < info->DataBytes; ++i)
        sum += samples[i];
    Check(sum <= 255u * info->DataBytes);

    std::ostringstream saved;
    wave.SaveToStream(saved);
    Check(saved.str() == image);

    const WAVEFORMATEX& format = *wave.FormatPtr();
    for (TMMTimeFormat timeFormat : {TMMTimeFormat::tfSample, TMMTimeFormat::tfByte, TMMTimeFormat::tfMillisecond}) {
        wave.SetTimeFormat(timeFormat);
        try {
            wave.DataSize();
        } catch (const EMMWaveError&) {
        }
    }
    ConvertWith(format, static_cast<int32_t>(info->DataBytes));
    ConvertWith(format, static_cast<int32_t>(info->SampleCount));
    ConvertWith(format, probe);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    int32_t probe = 0;
    if (size >= 4)
        std::memcpy(&probe, data, 4);
    LoadImage(raw, probe);

    std::string wrapped = "RIFF";
    const uint32_t riffSize = static_cast<uint32_t>(size + 4);
    wrapped.append(reinterpret_cast<const char*>(&riffSize), 4);
    wrapped += "WAVE";
    wrapped += raw;
    LoadImage(wrapped, probe);
    return 0;
}
