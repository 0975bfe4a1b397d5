// Every coding of the codec set against sox: sox writes a tone in the
// coding and decodes that file to 16-bit PCM with dither off, and our decode
// of the same file must match its decode sample for sample. Conversions run
// through the codec manager a few blocks at a time, so block handling across
// Convert calls is compared too.

#include "audio/codec_manager.h"
#include "audio/ms_adpcm.h"
#include "sox_reference.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<uint8_t> ConvertAll(const TWaveFormat& source, const TWaveFormat& target, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out;
    TWaveConverterPtr converter = CreateConverter(source, target, 3 * size_t{source->nBlockAlign} + 1);
    for (size_t at = 0; converter && at < data.size(); at += converter->SourceBytesUsed()) {
        size_t produced = Convert(converter.get(), data.data() + at, data.size() - at);
        if (converter->SourceBytesUsed() == 0)
            break;
        out.insert(out.end(), converter->Output(), converter->Output() + produced);
    }
    return out;
}

struct TReferenceCase {
    const char* Name;
    std::string Arguments; // sox's arguments; OUT is the file it writes
    uint16_t Tag;          // what sox must have written, so the case tests its path
    bool Wrap = false;     // read the samples under an EXTENSIBLE record (sox writes none for float)
    std::optional<TWaveFormat> Reduce = std::nullopt; // convert tone.wav to this and compare with sox's file itself
};

TEST(DecoderReferenceTest, EveryCodingDecodesAsSoxDoes)
{
    const std::string synth = " synth 0.3 sine 440 sine 660";
    const std::string mono = "-n -r 11025 -c 1 ", stereo = "-D -n -r 22050 -c 2 ", six = "-D -n -r 22050 -c 6 ";
    const TReferenceCase cases[] = {
        {"ms_stereo", "tone.wav -e ms-adpcm OUT", WAVE_FORMAT_ADPCM},
        {"ms_mono", mono + "-e ms-adpcm OUT" + synth, WAVE_FORMAT_ADPCM},
        {"ms_loud", stereo + "-e ms-adpcm OUT" + synth + " square 80 gain -0.1", WAVE_FORMAT_ADPCM},
        {"ima_stereo", "tone.wav -e ima-adpcm OUT", WAVE_FORMAT_IMA_ADPCM},
        {"ima_mono", mono + "-e ima-adpcm OUT" + synth, WAVE_FORMAT_IMA_ADPCM},
        {"alaw", "tone.wav -e a-law OUT", WAVE_FORMAT_ALAW},
        {"ulaw", "tone.wav -e u-law OUT", WAVE_FORMAT_MULAW},
        {"float32_full_scale", stereo + "-e floating-point -b 32 OUT" + synth, WAVE_FORMAT_IEEE_FLOAT},
        {"float64", stereo + "-e floating-point -b 64 OUT" + synth + " gain -3", WAVE_FORMAT_IEEE_FLOAT},
        {"pcm8", "-D tone.wav -e unsigned -b 8 OUT", WAVE_FORMAT_PCM},
        {"pcm24", stereo + "-t wavpcm -b 24 OUT" + synth + " gain -2", WAVE_FORMAT_PCM},
        {"pcm32", stereo + "-t wavpcm -b 32 OUT" + synth + " gain -2", WAVE_FORMAT_PCM},
        {"extensible_pcm24", stereo + "-b 24 OUT" + synth, WAVE_FORMAT_EXTENSIBLE},
        {"extensible_six_channels", six + "-b 16 OUT" + synth, WAVE_FORMAT_EXTENSIBLE},
        {"extensible_float", six + "-e floating-point -b 32 OUT" + synth + " gain 1", WAVE_FORMAT_IEEE_FLOAT, true},
        // Our own reductions, which sox makes with dither off.
        {"to_pcm8", "-D tone.wav -t wavpcm -e unsigned -b 8 OUT", WAVE_FORMAT_PCM, false, TWaveFormat::Pcm(2, 22050, 8)},
        {"to_mono", "-D tone.wav -t wavpcm -c 1 OUT", WAVE_FORMAT_PCM, false, TWaveFormat::Pcm(1, 22050, 16)},
    };
    TSoxWorkspace sox;
    ASSERT_TRUE(sox.Sox("-D -n -e signed -b 16 -r 22050 -c 2 tone.wav" + synth + " gain -1")) << "sox is needed";
    std::optional<TReferenceWave> tone = sox.Read("tone.wav");
    ASSERT_TRUE(tone);

    for (const TReferenceCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string file = std::string(c.Name) + ".wav", decoded = std::string(c.Name) + "_dec.wav";
        std::string command = c.Arguments;
        command.replace(command.find("OUT"), 3, file);
        ASSERT_TRUE(sox.Sox(command)) << command;
        ASSERT_TRUE(c.Reduce || sox.Sox("-D " + file + " -t wavpcm -e signed -b 16 " + decoded));
        std::optional<TReferenceWave> source = sox.Read(file), reference = sox.Read(c.Reduce ? file : decoded);
        ASSERT_TRUE(source && reference && !reference->Data.empty());
        ASSERT_EQ(source->Format->wFormatTag, c.Tag);

        std::vector<uint8_t> ours;
        if (c.Reduce) {
            ours = ConvertAll(tone->Format, *c.Reduce, tone->Data);
        } else {
            const WAVEFORMATEX& h = source->Format.Header();
            TWaveFormat format = c.Wrap ? ExtensibleRecord(h.nChannels, h.nSamplesPerSec, h.wBitsPerSample, h.wFormatTag,
                                                           h.wBitsPerSample)
                                        : source->Format;
            // A PCM source is its own suggestion; the mixer's target is 16 bits.
            TWaveFormat target = SuggestPcmFormat(format);
            if (c.Tag == WAVE_FORMAT_PCM) {
                EXPECT_EQ(target, format);
                target = TWaveFormat::Pcm(format->nChannels, format->nSamplesPerSec, 16);
            }
            ASSERT_EQ(target, TWaveFormat::Pcm(format->nChannels, format->nSamplesPerSec, 16));
            ours = ConvertAll(format, target, source->Data);
        }
        EXPECT_EQ(ours.size(), reference->Data.size());
        EXPECT_TRUE(ours == reference->Data) << "first difference at byte "
                                             << std::mismatch(ours.begin(), ours.end(), reference->Data.begin(),
                                                              reference->Data.end()).first - ours.begin();

        // The mixer's own decoder gives the same as the codec path.
        if (c.Tag == WAVE_FORMAT_ADPCM) {
            ASSERT_TRUE(IsStandardMsAdpcm(source->Format));
            std::vector<uint8_t> direct(MsAdpcmDecodedBytes(source->Format, source->Data.size()));
            direct.resize(MsAdpcmDecode(source->Format, MsAdpcmToPcmFormat(source->Format), source->Data.data(),
                                        source->Data.size(), direct.data(), direct.size()));
            EXPECT_TRUE(direct == reference->Data);
        }
    }
}

} // namespace
