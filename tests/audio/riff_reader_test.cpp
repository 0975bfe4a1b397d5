// The RIFF WAVE reader's walk: what it accepts, what it refuses, and where
// it puts the sample data of shortened and imperfect images. Every table
// row is read both from memory and from a file, which must agree.
#include "audio/riff_reader.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits)
{
    return TWaveFormat::Pcm(channels, rate, bits).Header();
}

WAVEFORMATEX Stereo16()
{
    return Pcm(2, 22050, 16);
}

WAVEFORMATEX WithFields(WAVEFORMATEX format, uint16_t tag, uint16_t blockAlign, uint32_t byteRate)
{
    format.wFormatTag = tag;
    format.nBlockAlign = blockAlign;
    format.nAvgBytesPerSec = byteRate;
    return format;
}

TBytes Le32Bytes(uint32_t value)
{
    TBytes bytes;
    AppendLe32(bytes, value);
    return bytes;
}

// Both forms of the reader over one image.
std::optional<TWaveInfo> ReadBoth(const TBytes& image)
{
    std::optional<TWaveInfo> fromMemory = ReadWaveInfo(image);
    TTempDir dir;
    std::optional<TWaveInfo> fromFile = ReadWaveFileInfo(dir.Write("image.wav", image));
    EXPECT_EQ(fromMemory.has_value(), fromFile.has_value());
    if (fromMemory && fromFile) {
        EXPECT_EQ(fromMemory->DataOffset, fromFile->DataOffset);
        EXPECT_EQ(fromMemory->DataBytes, fromFile->DataBytes);
        EXPECT_EQ(fromMemory->SampleCount, fromFile->SampleCount);
        EXPECT_TRUE(fromMemory->Format == fromFile->Format);
        EXPECT_EQ(fromMemory->InfoList, fromFile->InfoList);
        EXPECT_EQ(fromMemory->DispList, fromFile->DispList);
    }
    return fromMemory;
}

struct TRejectCase {
    const char* Name;
    TBytes Image;
};

TEST(RiffReader, RejectsImagesItCannotDescribe)
{
    const TBytes riffOnly = TRiffBuilder().Build();
    TBytes notRiff = PcmWaveImage(1, 8000, 8, 10);
    std::memcpy(notRiff.data(), "RIFX", 4);
    TBytes notWave = PcmWaveImage(1, 8000, 8, 10);
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    WAVEFORMATEX adpcm = WithFields(Pcm(1, 8000, 4), WAVE_FORMAT_ADPCM, 256, 4096);

    const TRejectCase cases[] = {
        {"empty image", {}},
        {"shorter than the RIFF header", TRiffBuilder().Build(11)},
        {"RIFF header and form type only", riffOnly},
        {"another container", notRiff},
        {"another form type", notWave},
        {"format without data", TRiffBuilder().Fmt(Stereo16()).Chunk("LIST", TBytes(8)).Build()},
        {"second format before any data",
         TRiffBuilder().Fmt(Stereo16()).Fmt(Stereo16()).Data(PatternBytes(40)).Build()},
        {"data without format", TRiffBuilder().Data(PatternBytes(40)).Build()},
        {"zero block alignment", TRiffBuilder().Fmt(WithFields(adpcm, 2, 0, 4096)).Data(PatternBytes(512)).Build()},
        {"zero byte rate", TRiffBuilder().Fmt(WithFields(adpcm, 2, 256, 0)).Data(PatternBytes(512)).Build()},
        // 4 x 1 >> 3 is 0: no whole byte per frame, so no byte rate.
        {"PCM of 4 bits mono", TRiffBuilder().Fmt(Pcm(1, 8000, 4)).Data(PatternBytes(64)).Build()},
        {"PCM byte rate beyond 31 bits", TRiffBuilder().Fmt(Pcm(8, 0x7FFFFFF0, 16)).Data(PatternBytes(64)).Build()},
        {"sample count beyond 31 bits",
         TRiffBuilder().Fmt(WithFields(Pcm(1, 2000000000, 8), 2, 1, 1)).Data(PatternBytes(4)).Build()},
        {"chunk before the data running past the image",
         TRiffBuilder().Fmt(Stereo16()).Chunk("junk", TBytes(6), 7).Build()},
        // Bounded by the image: the claim swallows the rest, leaving no data.
        {"format chunk claiming 4 GB",
         TRiffBuilder().Chunk("fmt ", FmtBody(Stereo16()), 0xFFFFFFFF).Data(PatternBytes(40)).Build()},
    };
    for (const TRejectCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(ReadBoth(c.Image).has_value());
    }
}

struct TAcceptCase {
    const char* Name;
    TRiffBuilder Image;
    uint32_t DataOffset;
    uint32_t DataBytes;
    uint32_t SampleCount;
    uint16_t BlockAlign; // as described, after any recomputation
    uint32_t ByteRate;
};

TEST(RiffReader, PlacesTheSampleData)
{
    const WAVEFORMATEX s16 = Stereo16(); // 4-byte frames at 22050 Hz
    const WAVEFORMATEX m8 = Pcm(1, 8000, 8);
    const TBytes frames = PatternBytes(400);
    const TBytes info = PatternBytes(10);
    // fmt 16 bytes: the first data chunk's body starts at 44, the second
    // chunk after fmt at 36.
    TAcceptCase cases[] = {
        {"ordinary image", TRiffBuilder().Fmt(s16).Data(frames), 44, 400, 100, 4, 88200},
        {"RIFF size larger than the image", TRiffBuilder().Fmt(s16).Data(frames).RiffSize(100000), 44, 400, 100, 4,
         88200},
        {"RIFF size ending inside the data", TRiffBuilder().Fmt(s16).Data(frames).RiffSize(60), 44, 400, 100, 4, 88200},
        {"data declared larger than the image", TRiffBuilder().Fmt(s16).Data(PatternBytes(402), 1000), 44, 400, 100, 4,
         88200},
        {"complete LIST after the data", TRiffBuilder().Fmt(s16).Data(frames).List("INFO", info), 44, 400, 100, 4,
         88200},
        {"bytes past the RIFF body", TRiffBuilder().Fmt(s16).Data(frames).Trailing(PatternBytes(10)), 44, 408, 102, 4,
         88200},
        {"chunk past the RIFF body counts as data",
         TRiffBuilder().Fmt(s16).Data(frames).Trailing(ChunkBytes("LIST", PatternBytes(14))), 44, 420, 105, 4, 88200},
        // The RIFF body ends inside the LIST chunk: the walk stops before it.
        {"chunk crossing the RIFF body's end", TRiffBuilder().Fmt(s16).Data(frames).List("INFO", info).RiffSize(420),
         44, 420, 105, 4, 88200},
        {"odd data, pad kept with 1-byte blocks", TRiffBuilder().Fmt(m8).Data(PatternBytes(5)).List("INFO", info), 44,
         6, 6, 1, 8000},
        {"odd data, pad rounded away", TRiffBuilder().Fmt(s16).Data(PatternBytes(5)).List("INFO", info), 44, 4, 1, 4,
         88200},
        {"odd chunk before the data is padded", TRiffBuilder().Fmt(s16).Chunk("junk", TBytes(3)).Data(frames), 56, 400,
         100, 4, 88200},
        {"data before the format", TRiffBuilder().Data(frames).Fmt(s16), 20, 400, 100, 4, 88200},
        // 402 bytes in blocks of the stored 1, then 402 / 4 = 100.5 frames
        // rounds half up.
        {"PCM with a wrong block alignment", TRiffBuilder().Fmt(WithFields(s16, 1, 1, 22050)).Data(PatternBytes(402)),
         44, 402, 101, 4, 88200},
        {"PCM with a wrong byte rate", TRiffBuilder().Fmt(WithFields(s16, 1, 4, 12345)).Data(frames), 44, 400, 100, 4,
         88200},
        {"other tags keep their fields",
         TRiffBuilder().Fmt(WithFields(Pcm(1, 8000, 4), WAVE_FORMAT_ADPCM, 256, 4096)).Data(PatternBytes(700)), 44, 512,
         1000, 256, 4096},
        {"second format after the data ends the walk", TRiffBuilder().Fmt(s16).Data(frames).Fmt(m8), 44, 400, 100, 4,
         88200},
        {"second data after the data ends the walk", TRiffBuilder().Fmt(s16).Data(frames).Data(PatternBytes(40)), 44,
         400, 100, 4, 88200},
        {"data after an empty data chunk", TRiffBuilder().Fmt(s16).Data({}).Data(PatternBytes(40)), 52, 40, 10, 4,
         88200},
        {"empty data chunk", TRiffBuilder().Fmt(s16).Data({}).List("INFO", info), 44, 0, 0, 4, 88200},
        {"fact does not change the count", TRiffBuilder().Fmt(s16).Chunk("fact", Le32Bytes(999999)).Data(frames), 56,
         400, 100, 4, 88200},
    };
    for (const TAcceptCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes image = c.Image.Build();
        std::optional<TWaveInfo> read = ReadBoth(image);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->FileSize, image.size());
        EXPECT_EQ(read->DataOffset, c.DataOffset);
        EXPECT_EQ(read->DataBytes, c.DataBytes);
        EXPECT_EQ(read->SampleCount, c.SampleCount);
        EXPECT_EQ(read->FirstSample, 0);
        EXPECT_EQ(read->LastSample, static_cast<int32_t>(c.SampleCount));
        EXPECT_EQ(read->Format->nBlockAlign, c.BlockAlign);
        EXPECT_EQ(read->Format->nAvgBytesPerSec, c.ByteRate);
    }
}

// Every cut from the first byte of the data on loads, with the data running
// to the cut in whole blocks; a cut inside the LIST chunk that follows ends
// the walk before that chunk counts, so its bytes are data too. Any cut
// before the data leaves no data chunk, which is refused.
TEST(RiffReader, ImageCutAtAnyByte)
{
    TRiffBuilder builder;
    builder.Fmt(Stereo16()).Data(PatternBytes(40)).List("INFO", PatternBytes(12));
    const size_t full = builder.Build().size();
    const size_t dataStart = builder.BodyOffset(1);
    for (size_t cut = 0; cut <= full; ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::optional<TWaveInfo> read = ReadWaveInfo(builder.Build(cut));
        if (cut < dataStart) {
            EXPECT_FALSE(read.has_value());
            continue;
        }
        ASSERT_TRUE(read.has_value());
        const size_t expected = cut == full ? 40 : (cut - dataStart) / 4 * 4;
        EXPECT_EQ(read->FileSize, cut);
        EXPECT_EQ(read->DataOffset, dataStart);
        EXPECT_EQ(read->DataBytes, expected);
        EXPECT_EQ(read->SampleCount, expected / 4);
    }
}

TEST(RiffReader, FormatRecordAsStored)
{
    const TBytes extra = {0xF4, 0x01, 0x07, 0x00};
    WAVEFORMATEX adpcm = WithFields(Pcm(1, 8000, 4), WAVE_FORMAT_ADPCM, 256, 4096);
    adpcm.cbSize = static_cast<uint16_t>(extra.size());
    std::optional<TWaveInfo> withExtra =
        ReadBoth(TRiffBuilder().Chunk("fmt ", FmtBody(adpcm, 18, extra)).Data(PatternBytes(512)).Build());
    ASSERT_TRUE(withExtra.has_value());
    EXPECT_EQ(withExtra->Format->cbSize, 4);
    EXPECT_EQ(withExtra->Format.Word(18), 500);
    EXPECT_EQ(withExtra->Format.Word(20), 7);

    // A 16-byte record reads with a zero extra size even when the bytes
    // after it in the image are not zero.
    WAVEFORMATEX pcm = Stereo16();
    pcm.cbSize = 0xABCD;
    std::optional<TWaveInfo> plain = ReadBoth(TRiffBuilder().Fmt(pcm, 16).Data(PatternBytes(4, 7)).Build());
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->Format->cbSize, 0);
    EXPECT_GE(plain->Format.Size(), sizeof(WAVEFORMATEX));
}

TEST(RiffReader, KeepsInfoAndDisplayChunks)
{
    const TBytes info = PatternBytes(9, 3);
    TBytes disp;
    AppendLe32(disp, 1); // a type, then text
    disp.insert(disp.end(), {'t', 'o', 'n', 'e'});
    std::optional<TWaveInfo> read = ReadBoth(TRiffBuilder()
                                                 .Fmt(Stereo16())
                                                 .List("adtl", PatternBytes(8))
                                                 .List("INFO", info)
                                                 .Chunk("DISP", disp)
                                                 .Chunk("DISP", TBytes(4))
                                                 .Chunk("LIST", {'I', 'N', 'F', 'O'})
                                                 .Data(PatternBytes(40))
                                                 .Build());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->InfoList, info);
    ASSERT_EQ(read->DispList.size(), 1u);
    EXPECT_EQ(read->DispList[0], disp);

    // The walk ends at a second fact chunk, so a LIST after it is not read.
    std::optional<TWaveInfo> stopped = ReadBoth(TRiffBuilder()
                                                    .Fmt(Stereo16())
                                                    .Chunk("fact", Le32Bytes(1))
                                                    .Data(PatternBytes(40))
                                                    .Chunk("fact", Le32Bytes(2))
                                                    .List("INFO", info)
                                                    .Build());
    ASSERT_TRUE(stopped.has_value());
    EXPECT_TRUE(stopped->InfoList.empty());
    EXPECT_EQ(stopped->DataBytes, 40u);
}

// The images every test program builds: the fmt body is the audio folder's
// own PCM record, and a tone reads back as 16-bit mono of full amplitude.
TEST(RiffReader, SharedTestImagesAreWhatTheySay)
{
    const struct {
        uint16_t Channels;
        uint32_t Rate;
        uint16_t Bits;
    } formats[] = {{1, 8000, 8}, {2, 22050, 16}, {6, 48000, 24}};
    for (const auto& f : formats) {
        const TBytes image = PcmWaveImage(f.Channels, f.Rate, f.Bits, 10);
        const TWaveFormat expected = TWaveFormat::Pcm(f.Channels, f.Rate, f.Bits);
        ASSERT_GE(image.size(), 36u);
        EXPECT_TRUE(std::equal(image.begin() + 20, image.begin() + 36, expected.Bytes())) << f.Channels;
    }

    const TBytes tone = ToneWave(100, 440, 8000);
    std::optional<TWaveInfo> info = ReadBoth(tone);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->Format == TWaveFormat::Pcm(1, 8000, 16));
    EXPECT_EQ(info->SampleCount, 100u);
    int peak = 0;
    for (size_t at = info->DataOffset; at + 1 < tone.size(); at += 2)
        peak = std::max(peak, std::abs(int(int16_t(tone[at] | tone[at + 1] << 8))));
    EXPECT_GT(peak, 7900);
    EXPECT_LE(peak, 8000);
    EXPECT_EQ(ToneWaveString(100, 440, 8000), std::string(tone.begin(), tone.end()));
}

TEST(RiffReader, FileThatCannotBeOpened)
{
    TTempDir dir;
    try {
        ReadWaveFileInfo(dir.Path() / "missing.wav");
        FAIL() << "no error";
    } catch (const EMMWaveError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("missing.wav"), std::string::npos) << e.what();
    }
}

} // namespace
