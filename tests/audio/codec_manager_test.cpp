// The codec manager's contracts: what is in the codec set, the staged search,
// converter blocks, and the codecs' answers at the edges of their value
// ranges. Sample values of real files are compared with sox in
// decoder_reference_test.cpp.

#include "audio/codec_manager.h"
#include "audio/ms_adpcm.h"
#include "sox_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace {

using TBytes = std::vector<uint8_t>;

TWaveFormat Ima(uint16_t channels, uint16_t blockAlign, std::optional<uint16_t> samplesPerBlock)
{
    TBytes extra;
    if (samplesPerBlock)
        extra = {static_cast<uint8_t>(*samplesPerBlock & 0xFF), static_cast<uint8_t>(*samplesPerBlock >> 8)};
    return FormatRecord(WAVE_FORMAT_IMA_ADPCM, channels, 22050, 4, blockAlign, extra);
}

TWaveFormat Extensible(uint16_t channels, uint16_t bits, uint16_t subFormat, uint16_t validBits)
{
    return ExtensibleRecord(channels, 48000, bits, subFormat, validBits);
}

TWaveFormat Pcm(uint16_t channels, uint16_t bits, uint32_t rate = 22050)
{
    return TWaveFormat::Pcm(channels, rate, bits);
}

TBytes ConvertWhole(const TWaveFormat& source, const TWaveFormat& target, const TBytes& data)
{
    TWaveConverterPtr converter = CreateConverter(source, target, data.size());
    if (!converter)
        return {};
    size_t produced = Convert(converter.get(), data.data(), data.size());
    return TBytes(converter->Output(), converter->Output() + produced);
}

TBytes Le16(std::initializer_list<int> samples)
{
    TBytes bytes;
    for (int s : samples) {
        bytes.push_back(static_cast<uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return bytes;
}

TEST(CodecManagerTest, FormatsOutsideTheSetGetNoConversion)
{
    TWaveFormat msShortBlock = MsAdpcmRecord(2);
    msShortBlock->nBlockAlign -= 1;
    TBytes msLongTable = MsAdpcmRecordBytes(1, 32);
    msLongTable[20] = 8; // eight pairs, the record holds seven
    TWaveFormat extensibleCut = Extensible(2, 16, WAVE_FORMAT_PCM, 16);
    extensibleCut = TWaveFormat::FromBytes(extensibleCut.Bytes(), 30);

    const std::pair<const char*, TWaveFormat> cases[] = {
        {"all zero", TWaveFormat()},
        {"MPEG layer 3", FormatRecord(WAVE_FORMAT_MPEGLAYER3, 2, 44100, 0, 1)},
        {"12-bit PCM", FormatRecord(WAVE_FORMAT_PCM, 1, 8000, 12, 2)},
        {"PCM of no channels", FormatRecord(WAVE_FORMAT_PCM, 0, 8000, 16, 0)},
        {"PCM of 17 channels", FormatRecord(WAVE_FORMAT_PCM, 17, 8000, 16, 34)},
        {"PCM at rate 0", FormatRecord(WAVE_FORMAT_PCM, 2, 0, 16, 4)},
        {"PCM with a wrong block", FormatRecord(WAVE_FORMAT_PCM, 2, 8000, 16, 2)},
        {"16-bit float", FormatRecord(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 16, 2)},
        {"16-bit A-law", FormatRecord(WAVE_FORMAT_ALAW, 1, 8000, 16, 2)},
        {"IMA block shorter than its headers", Ima(2, 4, 0)},
        {"IMA frames beyond its block", Ima(1, 8, 10)},
        {"MS ADPCM of one frame a block", MsAdpcmRecord(1, 1)},
        {"MS ADPCM block shorter than its frames", msShortBlock},
        {"MS ADPCM table past the record", TWaveFormat::FromBytes(msLongTable.data(), msLongTable.size())},
        {"EXTENSIBLE of another sub-format", Extensible(2, 16, WAVE_FORMAT_ALAW, 16)},
        {"EXTENSIBLE cut short", extensibleCut},
        {"EXTENSIBLE valid bits above the container", Extensible(2, 16, WAVE_FORMAT_PCM, 24)},
    };
    const TWaveFormat pcm = Pcm(2, 16, 8000);
    for (const auto& [name, format] : cases) {
        EXPECT_TRUE(SuggestPcmFormat(format).IsZero()) << name;
        EXPECT_FALSE(CanConvert(format, pcm)) << name;
        EXPECT_FALSE(CanConvert(pcm, format)) << name;
        EXPECT_EQ(ConvertedSize(format, pcm, 4096), -1) << name;
        EXPECT_EQ(CreateConverter(format, pcm, 4096), nullptr) << name;
    }
}

TEST(CodecManagerTest, SuggestionIsSixteenBitPcmAtTheSourceLayoutAndSameLayoutIsNoConversion)
{
    TWaveFormat pcm24 = Pcm(2, 24, 44100);
    pcm24->nAvgBytesPerSec = 7; // a PCM source comes back exactly as given
    EXPECT_EQ(SuggestPcmFormat(pcm24), pcm24);

    const TWaveFormat sources[] = {
        FormatRecord(WAVE_FORMAT_ALAW, 1, 8000, 8, 1),
        FormatRecord(WAVE_FORMAT_MULAW, 2, 8000, 8, 2),
        FormatRecord(WAVE_FORMAT_IEEE_FLOAT, 6, 48000, 64, 48),
        Ima(2, 512, 505),
        MsAdpcmRecord(1),
        Extensible(2, 24, WAVE_FORMAT_PCM, 20),
        Extensible(6, 32, WAVE_FORMAT_IEEE_FLOAT, 32),
    };
    for (const TWaveFormat& source : sources) {
        SCOPED_TRACE(testing::Message() << "tag " << source->wFormatTag);
        TWaveFormat suggestion = SuggestPcmFormat(source);
        EXPECT_EQ(suggestion, Pcm(source->nChannels, 16, source->nSamplesPerSec));
        EXPECT_EQ(FindConversionChain(source, suggestion).size(), 1u);
        // The same layout needs no conversion.
        EXPECT_TRUE(CanConvert(source, source));
        EXPECT_EQ(CreateConverter(source, source, 4096), nullptr);
        EXPECT_EQ(ConvertedSize(source, source, 1001), 1001);
    }
}

TEST(CodecManagerTest, StagedSearchGoesThroughIntermediatePcm)
{
    using TStages = std::vector<std::pair<int, int>>; // bits, channels of each stage's output
    const struct {
        const char* Name;
        TWaveFormat Source, Target;
        TStages Stages;
    } cases[] = {
        {"depth only", Pcm(2, 16), Pcm(2, 8), {{8, 2}}},
        {"A-law straight to 24 bits", FormatRecord(WAVE_FORMAT_ALAW, 2, 22050, 8, 2), Pcm(2, 24), {{24, 2}}},
        {"8-bit mono to 16-bit stereo", Pcm(1, 8), Pcm(2, 16), {{8, 2}, {16, 2}}},
        {"24-bit stereo to 16-bit mono", Pcm(2, 24), Pcm(1, 16), {{24, 1}, {16, 1}}},
        {"A-law mono to stereo", FormatRecord(WAVE_FORMAT_ALAW, 1, 22050, 8, 1), Pcm(2, 16), {{16, 1}, {16, 2}}},
        {"IMA stereo to 8-bit mono", Ima(2, 512, 505), Pcm(1, 8), {{16, 2}, {16, 1}, {8, 1}}},
        {"a rate change", Pcm(2, 16, 22050), Pcm(2, 16, 44100), {}},
        {"stereo to six channels", Pcm(2, 16), Pcm(6, 16), {}},
        {"PCM to IMA", Pcm(2, 16), Ima(2, 512, 505), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TStages found;
        for (const TConversionStage& stage : FindConversionChain(c.Source, c.Target))
            found.emplace_back(stage.OutputFormat->wBitsPerSample, stage.OutputFormat->nChannels);
        EXPECT_EQ(found, c.Stages);
        bool exists = !c.Stages.empty();
        EXPECT_EQ(CanConvert(c.Source, c.Target), exists);
        EXPECT_EQ(CreateConverter(c.Source, c.Target, 4096) != nullptr, exists);
        EXPECT_EQ(ConvertedSize(c.Source, c.Target, 4096) >= 0, exists);
    }
}

TEST(CodecManagerTest, EachStageFeedsTheNext)
{
    TWaveFormat ima = Ima(2, 512, 505);
    TBytes blocks = AdpcmBlocks(ima, 4);
    TBytes stereo = ConvertWhole(ima, Pcm(2, 16), blocks);
    TBytes mono = ConvertWhole(Pcm(2, 16), Pcm(1, 16), stereo);
    TBytes eight = ConvertWhole(Pcm(1, 16), Pcm(1, 8), mono);
    ASSERT_EQ(eight.size(), 4u * 505);
    EXPECT_EQ(ConvertWhole(ima, Pcm(1, 8), blocks), eight);
    EXPECT_EQ(ConvertedSize(ima, Pcm(1, 8), blocks.size()), 4 * 505);

    EXPECT_EQ(ConvertWhole(Pcm(1, 8), Pcm(2, 16), {0, 1, 128, 255}),
              Le16({-32768, -32768, -32512, -32512, 0, 0, 32512, 32512}));
}

// Beyond what sox writes: values past full scale, infinities and NaN.
TEST(CodecManagerTest, FloatPastFullScaleClampsAndNanIsSilence)
{
    const float values[] = {1.5f, -1.5f, 1.0f, -1.0f, 0.5f, std::nanf(""), 1.0f / 65536, -1.0f / 65536,
                            std::numeric_limits<float>::infinity()};
    TBytes floats(sizeof values);
    std::memcpy(floats.data(), values, sizeof values);
    EXPECT_EQ(ConvertWhole(FormatRecord(WAVE_FORMAT_IEEE_FLOAT, 1, 22050, 32, 4), Pcm(1, 16), floats),
              Le16({32767, -32768, 32767, -32768, 16384, 0, 1, 0, 32767}));
}

TEST(CodecManagerTest, ConverterTakesWholeSourceBlocksUpToItsBlock)
{
    TWaveFormat ima = Ima(2, 512, 505);
    TBytes blocks = AdpcmBlocks(ima, 10);
    TBytes whole = ConvertWhole(ima, Pcm(2, 16), blocks);
    const size_t blockOutput = 505 * 4;

    EXPECT_EQ(CreateConverter(ima, Pcm(2, 16), 511), nullptr);
    TWaveConverterPtr converter = CreateConverter(ima, Pcm(2, 16), 1500);
    ASSERT_NE(converter, nullptr);
    EXPECT_EQ(converter->SourceBlock(), 1024u);

    const struct {
        size_t Offered, Used;
    } runs[] = {{4608, 1024}, {700, 512}, {511, 0}, {1024, 1024}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.Offered);
        size_t produced = Convert(converter.get(), blocks.data() + 512, run.Offered);
        EXPECT_EQ(converter->SourceBytesUsed(), run.Used);
        ASSERT_EQ(produced, run.Used / 512 * blockOutput);
        if (produced) {
            EXPECT_TRUE(std::equal(converter->Output(), converter->Output() + produced, whole.begin() + blockOutput));
        }
    }
    EXPECT_EQ(ConvertedSize(ima, Pcm(2, 16), 5000), static_cast<int64_t>(9 * blockOutput));
    EXPECT_EQ(Convert(nullptr, blocks.data(), blocks.size()), 0u);
    FreeConverter(converter);
    EXPECT_EQ(converter, nullptr);
}

// Built directly, a converter refuses what it cannot run with the codec
// manager's own error; CreateConverter turns the same cases into none.
TEST(CodecManagerTest, ConverterRefusesAnEmptyChainOrAnUnsizableBlock)
{
    const TWaveFormat source = Pcm(1, 8), target = Pcm(2, 16);
    const size_t huge = std::numeric_limits<size_t>::max();
    const struct {
        const char* Name;
        TConversionChain Chain;
        size_t Block;
    } cases[] = {
        {"empty chain", {}, 4096},
        {"first stage's output past size_t", FindConversionChain(source, target), huge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THROW(TWaveConverter(source, c.Chain, c.Block), EMMCodecError);
    }
    EXPECT_EQ(CreateConverter(source, target, huge), nullptr);
}

TEST(CodecManagerTest, ImaBlockFramesComeFromTheBlockWhenTheRecordOmitsThem)
{
    TWaveFormat given = Ima(2, 512, 505);
    TBytes blocks = AdpcmBlocks(given, 2);
    TBytes full = ConvertWhole(given, Pcm(2, 16), blocks);
    ASSERT_EQ(full.size(), 2u * 505 * 4);
    EXPECT_EQ(ConvertWhole(Ima(2, 512, std::nullopt), Pcm(2, 16), blocks), full);
    EXPECT_EQ(ConvertWhole(Ima(2, 512, 0), Pcm(2, 16), blocks), full);

    // A step index past the table is its last step.
    TBytes high = blocks, last = blocks;
    high[2] = 200;
    last[2] = 88;
    EXPECT_EQ(ConvertWhole(given, Pcm(2, 16), high), ConvertWhole(given, Pcm(2, 16), last));
}

TEST(CodecManagerTest, MsAdpcmCodecReadsTheRecordsOwnTable)
{
    TWaveFormat standard = MsAdpcmRecord(2);
    TBytes blocks = AdpcmBlocks(standard, 3);
    TBytes direct(3 * 32 * 4);
    ASSERT_EQ(MsAdpcmDecode(standard, Pcm(2, 16), blocks.data(), blocks.size(), direct.data(), direct.size()), direct.size());
    EXPECT_EQ(ConvertWhole(standard, Pcm(2, 16), blocks), direct);

    // Two pairs only: predictors 0 and 1 decode as before, predictor 2 is corrupt.
    TBytes twoPairs = MsAdpcmRecordBytes(2, 32);
    twoPairs[20] = 2;
    twoPairs.resize(18 + 4 + 8);
    twoPairs[16] = 12;
    TWaveFormat custom = TWaveFormat::FromBytes(twoPairs.data(), twoPairs.size());
    ASSERT_FALSE(IsStandardMsAdpcm(custom));
    TBytes firstBlock(blocks.begin(), blocks.begin() + standard->nBlockAlign); // predictors 0 and 1
    EXPECT_EQ(ConvertWhole(custom, Pcm(2, 16), firstBlock), TBytes(direct.begin(), direct.begin() + 128));
    EXPECT_EQ(ConvertWhole(custom, Pcm(2, 16), blocks), TBytes()) << "the second block names predictor 2";
}

} // namespace
