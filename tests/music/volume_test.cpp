#include "music/volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Bytes16(std::initializer_list<int16_t> samples)
{
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        auto u = static_cast<uint16_t>(s);
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

int16_t Sample16(const std::vector<uint8_t>& bytes, size_t index)
{
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8)));
}

// A stage opened on a PCM format, as the sink's open would leave it.
struct TOpenVolume {
    TMMVolume volume;

    TOpenVolume(uint16_t channels, uint16_t bits, int32_t gain, int32_t panning = 0)
    {
        TWaveFormat format = TWaveFormat::Pcm(channels, 44100, bits);
        volume.SetWaveFormat(&format.Header());
        volume.SetVolume(gain);
        volume.SetPanning(panning);
        volume.Open();
    }

    // Scales the bytes as a played buffer passing through.
    void Scale(std::vector<uint8_t>& bytes)
    {
        TMMBuffer buffer{bytes.data(), static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(bytes.size())};
        volume.BufferReady(buffer);
    }
};

TEST(VolumeProperties, DefaultsAndClamping)
{
    TMMVolume volume;
    EXPECT_EQ(volume.Volume(), 16384);
    EXPECT_EQ(volume.Panning(), 0);
    EXPECT_TRUE(volume.Enabled());
    EXPECT_FALSE(volume.Active());

    const std::pair<int32_t, int32_t> volumes[] = {{-5, 0}, {0, 0}, {32768, 32768}, {40000, 32768}, {1234, 1234}};
    for (auto [in, out] : volumes) {
        volume.SetVolume(in);
        EXPECT_EQ(volume.Volume(), out) << in;
        EXPECT_EQ(volume.LeftGain(), out) << in;
    }
    volume.SetPanning(-20000);
    EXPECT_EQ(volume.Panning(), -16384);
    volume.SetPanning(20000);
    EXPECT_EQ(volume.Panning(), 16384);
}

TEST(VolumeProperties, GainsFollowVolumeAndPanning)
{
    struct {
        int32_t volume, panning, left, right;
    } const cases[] = {
        {16384, 0, 16384, 16384},     {16384, -16384, 16384, 0}, {16384, 16384, 0, 16384}, {32768, 8192, 16384, 32768},
        {32768, -8192, 32768, 16384}, {10000, -1, 10000, 9999},  {3, 8192, 2, 3}, // 1.5 rounds up
    };
    for (const auto& c : cases) {
        TMMVolume volume;
        volume.SetPanning(c.panning);
        volume.SetVolume(c.volume);
        EXPECT_EQ(volume.LeftGain(), c.left) << c.volume << " " << c.panning;
        EXPECT_EQ(volume.RightGain(), c.right) << c.volume << " " << c.panning;
    }
}

TEST(VolumeFormat, RefusesWhatItCannotScale)
{
    auto withPcm = [](uint16_t channels, uint32_t rate, uint16_t bits) {
        return TWaveFormat::Pcm(channels, rate, bits);
    };
    TWaveFormat adpcm = withPcm(1, 22050, 16);
    adpcm->wFormatTag = WAVE_FORMAT_ADPCM;
    const TWaveFormat refused[] = {withPcm(2, 44100, 24), withPcm(3, 44100, 16), withPcm(1, 3999, 16),
                                   withPcm(1, 100001, 8), adpcm};
    for (const TWaveFormat& format : refused) {
        TMMVolume volume;
        TWaveFormat kept = withPcm(1, 8000, 8);
        volume.SetWaveFormat(&kept.Header());
        try {
            volume.SetWaveFormat(&format.Header());
            ADD_FAILURE() << "accepted " << format->wBitsPerSample << " bits, " << format->nChannels << " channels, "
                          << format->nSamplesPerSec << " Hz, tag " << format->wFormatTag;
        } catch (const EMMVolumeError& e) {
            EXPECT_STREQ(e.what(), "Invalid WaveFormat");
        }
        ASSERT_NE(volume.WaveFormat(), nullptr);
        EXPECT_EQ(volume.WaveFormat()->nSamplesPerSec, 8000u);
    }

    const TWaveFormat accepted[] = {withPcm(1, 4000, 8), withPcm(2, 44100, 16), withPcm(4, 100000, 16)};
    for (const TWaveFormat& format : accepted) {
        TMMVolume volume;
        volume.SetWaveFormat(&format.Header());
        volume.Open();
        EXPECT_TRUE(volume.Active());
        volume.Close();
        EXPECT_FALSE(volume.Active());
    }

    TMMVolume none;
    none.SetWaveFormat(nullptr);
    none.Open();
    EXPECT_FALSE(none.Active());
}

TEST(VolumeFormat, RefusalReachesWhoeverHandsTheFormatDown)
{
    TMMDSPComponent source;
    TMMVolume volume;
    TWaveFormat format = TWaveFormat::Pcm(2, 44100, 24);
    source.SetWaveFormat(&format.Header());
    EXPECT_THROW(source.SetOutput(&volume), EMMVolumeError);
}

TEST(VolumeScaling, SixteenBitMono)
{
    struct {
        int32_t gain;
        int16_t in, out;
    } const cases[] = {
        {32768, 20000, 32767}, {32768, -20000, -32768}, {32768, 1000, 2000}, {32768, -32768, -32768}, {8192, -3, -2},
        {8192, 3, 1},          {8192, 1000, 500},       {0, 1234, 0},        {0, -1234, 0},           {24576, -1, -2},
    };
    for (const auto& c : cases) {
        TOpenVolume stage(1, 16, c.gain);
        auto bytes = Bytes16({c.in});
        stage.Scale(bytes);
        EXPECT_EQ(Sample16(bytes, 0), c.out) << c.gain << " " << c.in;
    }
}

TEST(VolumeScaling, EightBitMono)
{
    struct {
        int32_t gain;
        uint8_t in, out;
    } const cases[] = {
        {32768, 0, 0},    {32768, 255, 255}, {32768, 128, 128}, {32768, 130, 132},
        {8192, 125, 126}, {8192, 131, 129},  {0, 200, 128},     {0, 0, 128},
    };
    for (const auto& c : cases) {
        TOpenVolume stage(1, 8, c.gain);
        std::vector<uint8_t> bytes{c.in};
        stage.Scale(bytes);
        EXPECT_EQ(bytes[0], c.out) << c.gain << " " << int(c.in);
    }
}

TEST(VolumeScaling, UnityLeavesEveryByteAndSkipsTheLoop)
{
    for (uint16_t bits : {8, 16}) {
        TOpenVolume stage(2, bits, 16384);
        std::vector<uint8_t> bytes{0x00, 0xFF, 0x80, 0x7F, 0x01, 0xFE, 0x13};
        const auto before = bytes;
        stage.Scale(bytes);
        EXPECT_EQ(bytes, before);
        EXPECT_EQ(stage.volume.ScaledBuffers(), 0u);
    }
    // Mono ignores the right gain, so a panning to the left is still unity.
    TOpenVolume mono(1, 16, 16384, -8192);
    auto bytes = Bytes16({1000});
    mono.Scale(bytes);
    EXPECT_EQ(Sample16(bytes, 0), 1000);
    EXPECT_EQ(mono.volume.ScaledBuffers(), 0u);

    TOpenVolume louder(1, 16, 16385);
    louder.Scale(bytes);
    EXPECT_EQ(louder.volume.ScaledBuffers(), 1u);
}

TEST(VolumeScaling, StereoAlternatesLeftAndRight)
{
    TOpenVolume right(2, 16, 16384, -8192); // right at half
    auto bytes = Bytes16({1000, 1000, -1000, -1000});
    right.Scale(bytes);
    EXPECT_EQ(Sample16(bytes, 0), 1000);
    EXPECT_EQ(Sample16(bytes, 1), 500);
    EXPECT_EQ(Sample16(bytes, 2), -1000);
    EXPECT_EQ(Sample16(bytes, 3), -500);

    TOpenVolume left(2, 8, 16384, 16384); // left silenced
    std::vector<uint8_t> eight{200, 200, 50, 50};
    left.Scale(eight);
    EXPECT_EQ(eight, (std::vector<uint8_t>{128, 200, 128, 50}));

    // Four channels pan like two stereo pairs.
    TOpenVolume quad(4, 16, 16384, -16384);
    auto four = Bytes16({100, 100, 100, 100});
    quad.Scale(four);
    EXPECT_EQ(four, Bytes16({100, 0, 100, 0}));

    // Mono takes the left gain alone.
    TOpenVolume mono(1, 16, 8192, 16384);
    auto one = Bytes16({1000, 1000});
    mono.Scale(one);
    EXPECT_EQ(one, Bytes16({0, 0}));
}

TEST(VolumeScaling, PartialSamplesAtTheEndAreLeftAlone)
{
    struct {
        uint16_t channels, bits;
        size_t length, scaled;
    } const cases[] = {
        {1, 16, 5, 4}, // one odd byte
        {2, 16, 6, 4}, // a left sample without its right one
        {2, 8, 3, 2},
        {4, 16, 14, 8},
    };
    for (const auto& c : cases) {
        TOpenVolume stage(c.channels, c.bits, 0);
        std::vector<uint8_t> bytes(c.length, 0x37);
        stage.Scale(bytes);
        const uint8_t silence = c.bits == 8 ? 0x80 : 0x00;
        for (size_t i = 0; i < c.length; ++i)
            EXPECT_EQ(bytes[i], i < c.scaled ? silence : 0x37) << c.channels << "x" << c.bits << " byte " << i;
    }
}

TEST(VolumeScaling, OnlyTheFilledBytesWhileOpenAndEnabled)
{
    TOpenVolume stage(1, 16, 32768);
    auto bytes = Bytes16({100, 100});
    TMMBuffer buffer{bytes.data(), 4, 2};
    stage.volume.BufferReady(buffer);
    EXPECT_EQ(bytes, Bytes16({200, 100}));

    stage.volume.SetEnabled(false);
    stage.volume.BufferReady(buffer);
    EXPECT_EQ(bytes, Bytes16({200, 100}));

    stage.volume.SetEnabled(true);
    stage.volume.Close();
    stage.volume.BufferReady(buffer);
    EXPECT_EQ(bytes, Bytes16({200, 100}));
}

// A source of constant 16-bit samples for the chain below.
class TConstantSource : public TMMCustomFile {
public:
    int16_t Value = 0;
    void BufferLoad(TMMBuffer& buffer, bool& moreBuffers) override
    {
        TMMDSPComponent::BufferLoad(buffer, moreBuffers);
        for (uint32_t i = 0; i + 1 < buffer.Size; i += 2) {
            auto u = static_cast<uint16_t>(Value);
            buffer.Data[i] = static_cast<uint8_t>(u & 0xFF);
            buffer.Data[i + 1] = static_cast<uint8_t>(u >> 8);
        }
        buffer.BytesUsed = buffer.Size & ~1u;
        moreBuffers = true;
    }
};

TEST(VolumeChain, ScalesWhatTheSourceFilledAndWhatIsReportedPlayed)
{
    TConstantSource source;
    TMMVolume volume;
    TMMCustomSoundComponent sink;
    TWaveFormat format = TWaveFormat::Pcm(2, 44100, 16);
    source.SetWaveFormat(&format.Header());
    volume.SetOutput(&sink);
    source.SetOutput(&volume);
    volume.SetVolume(8192);
    sink.Open();
    sink.Start();
    EXPECT_TRUE(volume.Active());

    source.Value = 1000;
    std::vector<uint8_t> bytes(8);
    TMMBuffer buffer{bytes.data(), 8, 0};
    bool more = false;
    EXPECT_EQ(sink.PullBuffer(buffer, more), 8u);
    EXPECT_TRUE(more);
    EXPECT_EQ(bytes, Bytes16({500, 500, 500, 500}));

    std::vector<uint8_t> seen;
    sink.SetOnBufferReady([&](TMMDSPComponent&, TMMBuffer& b) { seen.assign(b.Data, b.Data + b.BytesUsed); });
    volume.BufferReady(buffer);
    EXPECT_EQ(seen, Bytes16({250, 250, 250, 250}));

    // A new volume applies to the next buffer.
    volume.SetVolume(32768);
    sink.PullBuffer(buffer, more);
    EXPECT_EQ(bytes, Bytes16({2000, 2000, 2000, 2000}));

    sink.Close();
    EXPECT_FALSE(volume.Active());
}

} // namespace
