// Real WAV files written by sox, loaded by file name and described by
// ambitone-tool wave-info.
#include "audio/wave.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool HaveSox()
{
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

TBytes FileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct TSoxCase {
    const char* Options; // sox output options
    double Seconds;
    uint16_t Tag;
    uint16_t Channels;
    uint32_t Rate;
    uint16_t Bits;
    uint16_t CbSize;
};

TEST(WaveSox, LoadsFilesWrittenBySox)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    const TSoxCase cases[] = {
        {"-r 22050 -c 2 -b 16", 0.5, WAVE_FORMAT_PCM, 2, 22050, 16, 0},
        {"-r 11025 -c 1 -b 8", 0.3, WAVE_FORMAT_PCM, 1, 11025, 8, 0},
        {"-r 44100 -c 1 -b 24", 0.25, WAVE_FORMAT_EXTENSIBLE, 1, 44100, 24, 22},
        {"-r 8000 -c 1 -e ms-adpcm", 0.5, WAVE_FORMAT_ADPCM, 1, 8000, 4, 32},
    };
    TTempDir dir;
    int index = 0;
    for (const TSoxCase& c : cases) {
        SCOPED_TRACE(c.Options);
        const std::filesystem::path path = dir.Path() / ("tone" + std::to_string(index++) + ".wav");
        const std::string command = std::string("sox -n ") + c.Options + " '" + path.string() + "' synth " +
                                    std::to_string(c.Seconds) + " sine 440";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const TBytes bytes = FileBytes(path);
        const auto dataId = std::search(bytes.begin(), bytes.end(), "data", "data" + 4);
        ASSERT_NE(dataId, bytes.end());
        const uint32_t dataOffset = static_cast<uint32_t>(dataId - bytes.begin()) + 8;

        TMMWave wave;
        wave.CreateMemoryStore();
        wave.SetFileName(path.string());
        const TWaveInfo* info = wave.WaveInfo();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->Format->wFormatTag, c.Tag);
        EXPECT_EQ(info->Format->nChannels, c.Channels);
        EXPECT_EQ(info->Format->nSamplesPerSec, c.Rate);
        EXPECT_EQ(info->Format->wBitsPerSample, c.Bits);
        EXPECT_EQ(info->Format->cbSize, c.CbSize);
        EXPECT_EQ(info->FileSize, bytes.size());
        EXPECT_EQ(info->DataOffset, dataOffset);
        // sox writes the data chunk last: the samples run to the end of
        // the file, a pad byte included, in whole blocks.
        const uint32_t block = info->Format->nBlockAlign;
        EXPECT_EQ(info->DataBytes, (bytes.size() - dataOffset) / block * block);
        const double frames = c.Rate * c.Seconds;
        EXPECT_NEAR(info->SampleCount, frames, 1.0);
    }
}

// The tool the build made alongside this test program.
std::filesystem::path ToolPath()
{
    if (const char* path = std::getenv("AMBITONE_TOOL"))
        return path;
    return AMBITONE_TOOL_PATH;
}

struct TToolRun {
    int Status;
    std::string Out;
    std::string Err;
};

TToolRun RunTool(const TTempDir& dir, const std::string& arguments)
{
    const std::filesystem::path out = dir.Path() / "out.txt";
    const std::filesystem::path err = dir.Path() / "err.txt";
    const std::string command =
        "'" + ToolPath().string() + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileText(out), FileText(err)};
}

TEST(WaveSox, WaveInfoCommand)
{
    ASSERT_TRUE(std::filesystem::exists(ToolPath())) << ToolPath();
    TTempDir dir;
    // A PCM file whose stored fields are wrong: the tool shows them as the
    // wave holds them, recomputed.
    WAVEFORMATEX format = TWaveFormat::Pcm(2, 22050, 16).Header();
    format.nBlockAlign = 1;
    format.nAvgBytesPerSec = 7;
    const TBytes image = TRiffBuilder().Fmt(format).Data(PatternBytes(402)).List("INFO", PatternBytes(6)).Build();
    const TToolRun good = RunTool(dir, "wave-info '" + dir.Write("tone.wav", image).string() + "'");
    EXPECT_EQ(good.Status, 0) << good.Err;
    EXPECT_EQ(good.Out, "wFormatTag=1\nnChannels=2\nnSamplesPerSec=22050\nnAvgBytesPerSec=88200\nnBlockAlign=4\n"
                        "wBitsPerSample=16\ncbSize=0\nFileSize=" +
                            std::to_string(image.size()) + "\nDataOffset=44\nDataBytes=402\nSampleCount=101\n");
    EXPECT_EQ(good.Err, "");

    TBytes rejected = image;
    rejected[0] = 'X';
    const TToolRun bad = RunTool(dir, "wave-info '" + dir.Write("bad.wav", rejected).string() + "'");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_EQ(bad.Out, "");
    EXPECT_EQ(bad.Err, "Invalid wave file...\n");

    const TToolRun missing = RunTool(dir, "wave-info");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("Usage: ambitone-tool wave-info FILE"), std::string::npos);
    EXPECT_NE(RunTool(dir, "--help").Out.find("wave-info FILE"), std::string::npos);
}

TEST(WaveSox, WaveDecodeCommandWritesWhatTheMixerWouldPlay)
{
    ASSERT_TRUE(std::filesystem::exists(ToolPath())) << ToolPath();
    TTempDir dir;
    const std::string root = dir.Path().string();
    if (std::system(("sox -n -r 11025 -c 1 -b 16 '" + root + "/ref.wav' synth 0.2 sine 300 2>/dev/null").c_str()) != 0 ||
        std::system(("sox '" + root + "/ref.wav' -e a-law '" + root + "/alaw.wav'").c_str()) != 0)
        GTEST_SKIP() << "sox is not available";
    const TToolRun run = RunTool(dir, "wave-decode '" + root + "/alaw.wav' '" + root + "/out.wav'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("wBitsPerSample=16\n"), std::string::npos) << run.Out;

    // The written file is a plain 16-bit PCM wave of the same length.
    const TToolRun info = RunTool(dir, "wave-info '" + root + "/out.wav'");
    ASSERT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("wFormatTag=1\nnChannels=1\nnSamplesPerSec=11025\n"), std::string::npos) << info.Out;
    const TToolRun source = RunTool(dir, "wave-info '" + root + "/alaw.wav'");
    const auto sampleCount = [](const std::string& out) { return out.substr(out.find("SampleCount=")); };
    EXPECT_EQ(sampleCount(info.Out), sampleCount(source.Out));

    // A format nothing converts fails with the mixer's message.
    WAVEFORMATEX mp3{WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, 0};
    const TBytes image = TRiffBuilder().Fmt(mp3, 18).Data(PatternBytes(300)).Build();
    const TToolRun bad = RunTool(dir, "wave-decode '" + dir.Write("song.wav", image).string() + "' '" + root + "/x.wav'");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_EQ(bad.Err, "Invalid WaveFormat\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x.wav"));
}

} // namespace
