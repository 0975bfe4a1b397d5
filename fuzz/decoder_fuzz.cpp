// links: ambitone_audio
// Arbitrary format records and data through the Microsoft ADPCM decoder and
// the codec manager. Input: one byte giving the record's length, the
// record, then the data. Besides the sanitizers' own checks, the decoders'
// promises are checked: never more bytes than asked for, and a converter's
// output adding up to what ConvertedSize announced.

#include "audio/codec_manager.h"
#include "audio/ms_adpcm.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void DirectDecode(const TWaveFormat& format, const std::vector<uint8_t>& src)
{
    IsStandardMsAdpcm(format);
    TWaveFormat pcm = MsAdpcmToPcmFormat(format);
    size_t whole = MsAdpcmDecodedBytes(format, src.size());
    // Exact-size buffers, so that any write past them is an ASan report.
    for (size_t capacity : {whole, whole / 2 + 1}) {
        std::vector<uint8_t> dst(capacity);
        size_t written = MsAdpcmDecode(format, pcm, src.data(), src.size(), dst.data(), dst.size());
        Check(written <= capacity && written <= whole);
    }
}

void Converted(const TWaveFormat& format, const TWaveFormat& target, const std::vector<uint8_t>& src, size_t block)
{
    bool possible = CanConvert(format, target);
    int64_t expected = ConvertedSize(format, target, src.size());
    Check(possible || expected == -1);
    TWaveConverterPtr converter = CreateConverter(format, target, block);
    if (!converter)
        return;
    Check(possible && converter->SourceBlock() <= block);
    size_t produced = 0, consumed = 0;
    bool corrupt = false;
    while (consumed < src.size()) {
        size_t bytes = Convert(converter.get(), src.data() + consumed, src.size() - consumed);
        size_t used = converter->SourceBytesUsed();
        if (used == 0)
            break;
        Check(used <= converter->SourceBlock());
        corrupt = corrupt || bytes == 0;
        if (bytes > 0) {
            // Every produced byte must be readable.
            volatile uint8_t sink = converter->Output()[0] ^ converter->Output()[bytes - 1];
            (void)sink;
        }
        produced += bytes;
        consumed += used;
    }
    if (!corrupt)
        Check(expected >= 0 && produced == static_cast<uint64_t>(expected));
}

// Records a mutator rarely builds from nothing: a standard Microsoft ADPCM
// one and an IMA one, shaped by two bytes of the input.
TWaveFormat ShapedRecord(uint16_t tag, uint8_t shapeA, uint8_t shapeB)
{
    const uint16_t channels = static_cast<uint16_t>(1 + shapeA % 4);
    std::vector<uint8_t> bytes(18);
    WAVEFORMATEX h{tag, channels, 22050, 0, 0, 4, 0};
    auto put = [&bytes](int value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    };
    if (tag == WAVE_FORMAT_ADPCM) {
        const int frames = 2 + shapeB * 3;
        h.nBlockAlign = static_cast<uint16_t>(7 * channels + ((frames - 2) * channels + 1) / 2);
        put(frames);
        put(MsAdpcmStandardCoefficientCount);
        for (const auto& pair : MsAdpcmStandardCoefficients) {
            put(pair[0]);
            put(pair[1]);
        }
    } else {
        h.nBlockAlign = static_cast<uint16_t>(4 * channels * (1 + shapeB % 64));
        put(0); // frames a block taken from the block
    }
    h.nAvgBytesPerSec = h.nBlockAlign * 22050u;
    h.cbSize = static_cast<uint16_t>(bytes.size() - 18);
    std::memcpy(bytes.data(), &h, sizeof h);
    return TWaveFormat::FromBytes(bytes.data(), bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t recordBytes = std::min<size_t>(data[0], size - 1);
    const uint8_t* record = data + 1;
    TWaveFormat format = TWaveFormat::FromBytes(record, recordBytes);
    std::vector<uint8_t> src(record + recordBytes, data + size);

    std::vector<uint8_t> raw(record, record + recordBytes);
    if (raw.size() >= sizeof(WAVEFORMATEX))
        IsStandardMsAdpcm(reinterpret_cast<const WAVEFORMATEX*>(raw.data()), raw.size());

    DirectDecode(format, src);

    // The suggestion, and targets that need intermediate stages.
    const uint32_t rate = format->nSamplesPerSec;
    const size_t block = 1 + (recordBytes * 257 + size) % 16384;
    for (const TWaveFormat& target : {SuggestPcmFormat(format), TWaveFormat::Pcm(1, rate, 8), TWaveFormat::Pcm(2, rate, 16),
                                      TWaveFormat::Pcm(format->nChannels, rate, 24)})
        Converted(format, target, src, block);

    if (size >= 3) {
        std::vector<uint8_t> payload(data + 3, data + size);
        for (uint16_t tag : {WAVE_FORMAT_ADPCM, WAVE_FORMAT_IMA_ADPCM}) {
            TWaveFormat shaped = ShapedRecord(tag, data[1], data[2]);
            DirectDecode(shaped, payload);
            Converted(shaped, SuggestPcmFormat(shaped), payload, block);
            Converted(shaped, TWaveFormat::Pcm(1, 22050, 8), payload, block);
        }
    }
    return 0;
}
