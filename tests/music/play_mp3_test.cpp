// ambitone-tool play-mp3 on the built tool: what the wave output received
// is the decoder's whole song, nothing lost or played twice.
#include "support/mp3_files.h"

#include "music/mpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace mp3fixtures;

using TBytes = std::vector<uint8_t>;

std::string RunTool(const std::string& arguments, int& status)
{
    const std::string command = std::string(AMBITONE_TOOL_PATH) + " play-mp3 " + arguments + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, got);
    status = pclose(pipe);
    return output;
}

TBytes FullDecode(const std::filesystem::path& file)
{
    TMMMpeg mpeg;
    mpeg.SetFileName(file.string());
    mpeg.OpenFile();
    TBytes all, buffer(4096);
    for (;;) {
        const int32_t got = mpeg.ReadDataBytes(buffer.data(), 4096);
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        if (got == 0 || mpeg.GetDone())
            return all;
    }
}

// The sample bytes of a plain PCM WAV the tool wrote (44-byte header).
TBytes WaveData(const std::filesystem::path& file, uint16_t& channels)
{
    std::ifstream in(file, std::ios::binary);
    TBytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44)
        return {};
    channels = static_cast<uint16_t>(bytes[22] | bytes[23] << 8);
    return TBytes(bytes.begin() + 44, bytes.end());
}

} // namespace

TEST(PlayMp3Tool, TheOutputReceivesTheWholeDecodedSongByteForByte)
{
    TTempDir dir;
    struct TCase {
        const char* Name;
        uint32_t Samples;
        uint16_t Channels;
    };
    // A stereo song of a few seconds, a mono one, and one shorter than a buffer.
    for (TCase c : {TCase{"stereo", 3 * 44100, 2}, TCase{"mono", 44100 + 77, 1}, TCase{"short", 300, 2}}) {
        const auto mp3 = MakeMp3(dir.Path(), c.Name, c.Samples, c.Channels, 440, 660);
        const auto out = dir.Path() / (std::string(c.Name) + "-out.wav");
        int status = 0;
        const std::string printed = RunTool("'" + mp3.string() + "' --out '" + out.string() + "'", status);
        ASSERT_EQ(status, 0) << printed;
        EXPECT_NE(printed.find("Ended=true"), std::string::npos) << printed;
        uint16_t channels = 0;
        const TBytes received = WaveData(out, channels);
        EXPECT_EQ(channels, c.Channels) << c.Name;
        EXPECT_EQ(received.size(), size_t(c.Samples) * c.Channels * 2) << c.Name;
        EXPECT_TRUE(received == FullDecode(mp3)) << c.Name;
    }
}

TEST(PlayMp3Tool, VolumeAndSeekShapeWhatIsReceived)
{
    TTempDir dir;
    const auto mp3 = MakeMp3(dir.Path(), "song", 2 * 44100, 2, 440, 660);
    const TBytes full = FullDecode(mp3);
    int status = 0;

    // Half the gain: every 16-bit sample shifted right arithmetically by one.
    const auto half = dir.Path() / "half.wav";
    ASSERT_EQ((RunTool("'" + mp3.string() + "' --volume 8192 --out '" + half.string() + "'", status), status), 0);
    uint16_t channels = 0;
    const TBytes halved = WaveData(half, channels);
    ASSERT_EQ(halved.size(), full.size());
    bool allHalved = true;
    for (size_t i = 0; i + 1 < full.size(); i += 2) {
        const int16_t s = static_cast<int16_t>(full[i] | full[i + 1] << 8);
        const int16_t h = static_cast<int16_t>(halved[i] | halved[i + 1] << 8);
        allHalved = allHalved && h == static_cast<int16_t>((s * 8192) >> 14);
    }
    EXPECT_TRUE(allHalved);

    // From frame 40 on: 1152 samples a frame fewer, ending where the song ends.
    const auto later = dir.Path() / "later.wav";
    ASSERT_EQ((RunTool("'" + mp3.string() + "' --seek 40 --out '" + later.string() + "'", status), status), 0);
    const TBytes tail = WaveData(later, channels);
    EXPECT_LT(tail.size(), full.size());
    EXPECT_GT(tail.size(), full.size() - 41 * 1152 * 4);
}

TEST(PlayMp3Tool, AFileWithoutMpegAudioIsRefused)
{
    TTempDir dir;
    const auto text = dir.Path() / "notes.mp3";
    WriteFile(text, TBytes{'h', 'e', 'l', 'l', 'o'});
    int status = 0;
    const std::string printed = RunTool("'" + text.string() + "' --out '" + (dir.Path() / "x.wav").string() + "'", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(printed.find("holds no MPEG audio stream"), std::string::npos) << printed;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x.wav"));
}
