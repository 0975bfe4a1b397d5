// The direct Microsoft ADPCM decoder at its edges: what counts as the
// standard format, sources cut anywhere, bad predictors, and destinations
// too small. Its sample values are compared with sox's in
// decoder_reference_test.cpp; here decodes are compared with each other.

#include "audio/ms_adpcm.h"
#include "sox_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

TWaveFormat Standard(uint16_t channels, uint16_t samplesPerBlock = 32)
{
    return MsAdpcmRecord(channels, samplesPerBlock);
}

TBytes Blocks(const TWaveFormat& format, size_t count)
{
    return AdpcmBlocks(format, count);
}

TBytes Decode(const TWaveFormat& format, const TBytes& src, size_t srcLen, size_t capacity, size_t* written)
{
    TBytes dst(capacity);
    *written = MsAdpcmDecode(format, MsAdpcmToPcmFormat(format), src.data(), srcLen, dst.data(), capacity);
    return dst;
}

TEST(MsAdpcmFormatTest, OnlyTheStandardRecordIsStandard)
{
    using TEdit = std::function<void(TBytes&)>;
    struct TCase {
        std::string Name;
        TEdit Edit;
        bool Standard;
    };
    std::vector<TCase> cases = {
        {"as written", [](TBytes&) {}, true},
        {"4 channels", [](TBytes& b) { b[2] = 4; }, true},
        {"0 channels", [](TBytes& b) { b[2] = 0; }, false},
        {"5 channels", [](TBytes& b) { b[2] = 5; }, false},
        {"PCM tag", [](TBytes& b) { b[0] = 1; }, false},
        {"8 bits", [](TBytes& b) { b[14] = 8; }, false},
        {"8 pairs", [](TBytes& b) { b[20] = 8; }, false},
        {"6 pairs", [](TBytes& b) { b[20] = 6; }, false},
        {"table cut short", [](TBytes& b) { b.resize(49); }, false},
    };
    for (size_t word = 0; word < 14; ++word)
        cases.push_back({"coefficient word " + std::to_string(word), [word](TBytes& b) { b[22 + 2 * word] ^= 1; }, false});

    for (const TCase& c : cases) {
        TBytes bytes = MsAdpcmRecordBytes(2, 32);
        c.Edit(bytes);
        TWaveFormat format = TWaveFormat::FromBytes(bytes.data(), bytes.size());
        EXPECT_EQ(IsStandardMsAdpcm(format), c.Standard) << c.Name;
        EXPECT_EQ(IsStandardMsAdpcm(reinterpret_cast<const WAVEFORMATEX*>(bytes.data()), bytes.size()), c.Standard) << c.Name;
        EXPECT_EQ(MsAdpcmToPcmFormat(format).IsZero(), !c.Standard) << c.Name;
    }
    EXPECT_FALSE(IsStandardMsAdpcm(nullptr, 50));
    EXPECT_EQ(MsAdpcmToPcmFormat(Standard(3)), TWaveFormat::Pcm(3, 22050, 16)); // cbSize 0 included
}

// Cut after whole blocks plus `rest` bytes of the next; with 32 frames a
// block, frames come from the 2 header frames and each complete nibble frame.
TEST(MsAdpcmDecodeTest, CutSourceStopsAtTheFirstMissingNibble)
{
    struct TCase {
        uint16_t Channels;
        size_t Rest;
        size_t Frames;
    } cases[] = {
        {1, 6, 64},          // header one byte short: only the two whole blocks
        {1, 7, 66},          // header only
        {1, 7 + 5, 76},      // two nibble frames a byte
        {2, 14 + 9, 64 + 11}, // one nibble frame a byte
        {3, 21 + 4, 64 + 4},  // 8 nibbles: two whole frames, the third is cut
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Channels << " channels, " << c.Rest << " bytes into the third block");
        TWaveFormat format = Standard(c.Channels);
        TBytes src = Blocks(format, 3);
        size_t frameBytes = 2u * c.Channels, fullWritten = 0, cutWritten = 0;
        TBytes full = Decode(format, src, src.size(), 96 * frameBytes, &fullWritten);
        ASSERT_EQ(fullWritten, 96 * frameBytes);

        size_t cut = 2 * size_t{format->nBlockAlign} + c.Rest;
        TBytes part = Decode(format, src, cut, full.size(), &cutWritten);
        EXPECT_EQ(cutWritten, c.Frames * frameBytes);
        EXPECT_EQ(MsAdpcmDecodedBytes(format, cut), cutWritten);
        EXPECT_TRUE(std::equal(part.begin(), part.begin() + cutWritten, full.begin()));
    }
}

// With an odd number of nibbles a mono block ends on a half-used byte; the
// next block starts on the following byte.
TEST(MsAdpcmDecodeTest, EveryBlockStartsOnAFreshByte)
{
    TWaveFormat format = Standard(1, 31);
    ASSERT_EQ(format->nBlockAlign, 7 + 15);
    TBytes src = Blocks(format, 3);
    size_t written = 0;
    TBytes whole = Decode(format, src, src.size(), 3 * 31 * 2, &written);
    ASSERT_EQ(written, 3u * 31 * 2);
    for (size_t block = 0; block < 3; ++block) {
        TBytes one(src.begin() + block * 22, src.begin() + (block + 1) * 22);
        TBytes alone = Decode(format, one, one.size(), 31 * 2, &written);
        ASSERT_EQ(written, 31u * 2);
        EXPECT_TRUE(std::equal(alone.begin(), alone.end(), whole.begin() + block * 62)) << "block " << block;
    }
}

TEST(MsAdpcmDecodeTest, BadPredictorReportsNothingWritten)
{
    TWaveFormat format = Standard(2);
    TBytes src = Blocks(format, 3);
    size_t written = 0;
    TBytes full = Decode(format, src, src.size(), 96 * 4, &written);
    for (uint8_t predictor : {7, 200}) {
        TBytes bad = src;
        bad[format->nBlockAlign + 1] = predictor; // second block, second channel
        TBytes out = Decode(format, bad, bad.size(), full.size(), &written);
        EXPECT_EQ(written, 0u);
        // The first block was decoded before the bad header was met.
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + 32 * 4, full.begin()));
    }
}

TEST(MsAdpcmDecodeTest, DestinationCapacityIsNeverExceeded)
{
    TWaveFormat format = Standard(2);
    TBytes src = Blocks(format, 3);
    size_t written = 0;
    TBytes full = Decode(format, src, src.size(), 96 * 4, &written);
    const uint8_t guard = 0xA5;
    for (size_t capacity : {size_t{0}, size_t{3}, size_t{4}, size_t{33 * 4 + 2}, size_t{96 * 4 - 1}, size_t{96 * 4 + 8}}) {
        TBytes dst(capacity + 16, guard);
        written = MsAdpcmDecode(format, MsAdpcmToPcmFormat(format), src.data(), src.size(), dst.data(), capacity);
        EXPECT_EQ(written, std::min<size_t>(capacity / 4, 96) * 4) << capacity;
        EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + written, full.begin())) << capacity;
        EXPECT_TRUE(std::all_of(dst.begin() + capacity, dst.end(), [guard](uint8_t b) { return b == guard; })) << capacity;
    }
}

TEST(MsAdpcmDecodeTest, OnlyTheMatchingPcmTargetIsWritten)
{
    TWaveFormat format = Standard(2);
    TBytes src = Blocks(format, 1), dst(32 * 4);
    for (const TWaveFormat& target : {TWaveFormat::Pcm(2, 22050, 8), TWaveFormat::Pcm(1, 22050, 16),
                                      TWaveFormat::Pcm(2, 44100, 16), TWaveFormat()})
        EXPECT_EQ(MsAdpcmDecode(format, target, src.data(), src.size(), dst.data(), dst.size()), 0u);
    EXPECT_EQ(MsAdpcmDecode(format, TWaveFormat::Pcm(2, 22050, 16), src.data(), src.size(), dst.data(), dst.size()), dst.size());
}

} // namespace
