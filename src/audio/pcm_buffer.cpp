#include "audio/pcm_buffer.h"

#include "audio/codec_manager.h"
#include "audio/mixer_errors.h"
#include "audio/ms_adpcm.h"
#include "audio/wave.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

uint32_t CheckedBytes(uint64_t bytes)
{
    // A buffer is addressed in 32 bits; a larger one cannot be made.
    if (bytes > std::numeric_limits<uint32_t>::max())
        throw EMMDSWaveMixError("Invalid WaveFormat");
    return static_cast<uint32_t>(bytes);
}

} // namespace

TPcmBufferPlan PlanPcmBuffer(const TMMWave& wave)
{
    if (!wave.IsMemoryWave())
        throw EMMDSWaveMixError("This is not a MemoryWave");
    const TWaveInfo* info = wave.WaveInfo();
    if (!info)
        throw EMMDSWaveMixError("Invalid WaveFormat");
    const TWaveFormat& format = info->Format;
    TPcmBufferPlan plan;
    if (format->wFormatTag == WAVE_FORMAT_PCM) {
        plan.Source = TPcmBufferPlan::TSource::Pcm;
        plan.Format = format;
        plan.Bytes = info->DataBytes;
        return plan;
    }
    if (format->wFormatTag == WAVE_FORMAT_ADPCM) {
        TWaveFormat pcm = MsAdpcmToPcmFormat(format);
        if (!pcm.IsZero()) {
            uint64_t blocks = format->nBlockAlign ? info->DataBytes / format->nBlockAlign : 0;
            plan.Source = TPcmBufferPlan::TSource::MsAdpcm;
            plan.Format = pcm;
            plan.Bytes = CheckedBytes(uint64_t(format.Word(18)) * pcm->nBlockAlign * blocks);
            return plan;
        }
    }
    TWaveFormat target = SuggestPcmFormat(format);
    if (target.IsZero() || !CanConvert(format, target))
        throw EMMDSWaveMixError("Invalid WaveFormat");
    int64_t size = ConvertedSize(format, target, info->DataBytes);
    if (size < 0)
        throw EMMDSWaveMixError("Invalid WaveFormat");
    plan.Source = TPcmBufferPlan::TSource::Converted;
    plan.Format = target;
    plan.Bytes = CheckedBytes(static_cast<uint64_t>(size));
    return plan;
}

uint32_t FillPcmBuffer(const TMMWave& wave, const TPcmBufferPlan& plan, uint8_t* dst, uint32_t capacity)
{
    const TWaveInfo* info = wave.WaveInfo();
    const uint8_t* data = wave.SampleData();
    if (!info || !data)
        return 0;
    switch (plan.Source) {
    case TPcmBufferPlan::TSource::Pcm: {
        uint32_t bytes = std::min(info->DataBytes, capacity);
        std::memcpy(dst, data, bytes);
        return bytes;
    }
    case TPcmBufferPlan::TSource::MsAdpcm:
        return static_cast<uint32_t>(MsAdpcmDecode(info->Format, plan.Format, data, info->DataBytes, dst, capacity));
    case TPcmBufferPlan::TSource::Converted:
        break;
    }
    TWaveConverterPtr converter = CreateConverter(info->Format, plan.Format, info->DataBytes);
    if (!converter)
        throw EMMDSWaveMixError("Unable to convert sound data");
    size_t produced = Convert(converter.get(), data, info->DataBytes);
    uint32_t bytes = static_cast<uint32_t>(std::min<size_t>(produced, capacity));
    if (bytes > 0)
        std::memcpy(dst, converter->Output(), bytes);
    FreeConverter(converter);
    return bytes;
}
