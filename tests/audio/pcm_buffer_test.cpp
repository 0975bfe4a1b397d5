// What a mixer buffer is filled with: the plan (format and size) and the
// fill, for PCM, Microsoft ADPCM and a converted format, against sox's own
// decode of the same file.
#include "audio/mixer_errors.h"
#include "audio/pcm_buffer.h"
#include "audio/wave.h"
#include "sox_reference.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct TCase {
    const char* Name;
    const char* Encode; // sox options that make the source from ref.wav
    TPcmBufferPlan::TSource Source;
};

class PcmBufferPlan : public ::testing::TestWithParam<TCase> {};

} // namespace

TEST_P(PcmBufferPlan, FillsWhatSoxDecodesAtTheSourceLayout)
{
    TSoxWorkspace sox;
    if (!sox.Sox("-n -r 22050 -c 2 -e signed -b 16 ref.wav synth 0.25 sine 440 sine 660"))
        GTEST_SKIP() << "sox is not available";
    const TCase& c = GetParam();
    ASSERT_TRUE(sox.Sox(std::string("ref.wav ") + c.Encode + " src.wav"));
    ASSERT_TRUE(sox.Sox("-D src.wav -e signed -b 16 dec.wav"));

    TMMWave wave;
    wave.CreateMemoryStore();
    wave.SetFileName(sox.Path("src.wav").string());
    TPcmBufferPlan plan = PlanPcmBuffer(wave);
    EXPECT_EQ(plan.Source, c.Source);
    EXPECT_EQ(plan.Format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(plan.Format->nChannels, 2);
    EXPECT_EQ(plan.Format->nSamplesPerSec, 22050u);
    EXPECT_EQ(plan.Format->wBitsPerSample, 16);

    std::vector<uint8_t> buffer(plan.Bytes + 16, 0xAB);
    uint32_t written = FillPcmBuffer(wave, plan, buffer.data(), plan.Bytes);
    EXPECT_LE(written, plan.Bytes);
    for (size_t i = plan.Bytes; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "written past the buffer at " << i;

    std::optional<TReferenceWave> reference = sox.Read("dec.wav");
    ASSERT_TRUE(reference);
    buffer.resize(written);
    std::vector<int16_t> ours = Samples16(buffer);
    std::vector<int16_t> theirs = Samples16(reference->Data);
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Formats, PcmBufferPlan,
                         ::testing::Values(TCase{"pcm", "", TPcmBufferPlan::TSource::Pcm},
                                           TCase{"msadpcm", "-e ms-adpcm", TPcmBufferPlan::TSource::MsAdpcm},
                                           TCase{"mulaw", "-e u-law", TPcmBufferPlan::TSource::Converted},
                                           TCase{"float", "-e floating-point -b 32",
                                                 TPcmBufferPlan::TSource::Converted}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(PcmBufferPlan, AFormatWithoutAConversionIsAnInvalidWaveFormat)
{
    WAVEFORMATEX mp3{WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, 0};
    TBytes image = TRiffBuilder().Fmt(mp3, 18).Data(PatternBytes(400)).Build();
    TMMWave wave;
    wave.CreateMemoryStore();
    std::string text(image.begin(), image.end());
    std::istringstream in(text);
    wave.LoadFromStream(in);
    try {
        PlanPcmBuffer(wave);
        FAIL() << "no error";
    } catch (const EMMDSWaveMixError& e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
}
