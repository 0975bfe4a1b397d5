// ambitone-tool render: a sample played on the main window's mixer, heard
// by the listener, measured on the rendered file.
#include "audio/wave.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct TRun {
    int Status;
    std::string Out, Err;
};

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TRun Tool(const TTempDir& dir, const std::string& arguments)
{
    const auto out = dir.Path() / "out.txt", err = dir.Path() / "err.txt";
    std::string command = std::string("'") + AMBITONE_TOOL_PATH + "' " + arguments + " >'" + out.string() + "' 2>'" +
                          err.string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
}

// A 440 Hz mono tone of the given length, full scale / 2.
std::filesystem::path Tone(const TTempDir& dir, double seconds)
{
    const uint32_t rate = 44100;
    const size_t frames = static_cast<size_t>(seconds * rate);
    TBytes samples;
    for (size_t i = 0; i < frames; ++i)
        AppendLe16(samples, static_cast<uint16_t>(static_cast<int16_t>(16384 * std::sin(2 * M_PI * 440 * i / rate))));
    return dir.Write("tone.wav", TRiffBuilder().Fmt(TWaveFormat::Pcm(1, rate, 16).Header()).Data(samples).Build());
}

struct TEnergy {
    double Left = 0, Right = 0;
    size_t Frames = 0;
};

TEnergy Measure(const std::filesystem::path& file)
{
    TMMWave wave;
    wave.CreateMemoryStore();
    wave.SetFileName(file.string());
    EXPECT_EQ(wave.FormatPtr()->nChannels, 2);
    EXPECT_EQ(wave.FormatPtr()->nSamplesPerSec, 44100u);
    const auto* samples = reinterpret_cast<const int16_t*>(wave.SampleData());
    TEnergy energy;
    energy.Frames = wave.DataBytes() / 4;
    for (size_t i = 0; i < energy.Frames; ++i) {
        energy.Left += double(samples[2 * i]) * samples[2 * i];
        energy.Right += double(samples[2 * i + 1]) * samples[2 * i + 1];
    }
    return energy;
}

} // namespace

TEST(RenderTool, TheListenerHearsASourceOnItsOwnSide)
{
    TTempDir dir;
    const auto tone = Tone(dir, 0.3);
    const auto out = (dir.Path() / "r.wav").string();
    for (const char* position : {"2,0,0", "-2,0,0"}) {
        TRun run = Tool(dir, "render '" + tone.string() + "' '" + out + "' --position " + position);
        ASSERT_EQ(run.Status, 0) << run.Err;
        TEnergy e = Measure(out);
        if (position[0] == '-')
            EXPECT_GT(e.Left, 10 * e.Right) << position;
        else
            EXPECT_GT(e.Right, 10 * e.Left) << position;
    }
}

TEST(RenderTool, ByDefaultItRendersUntilThePlayEndsAndATenthOfASecondMore)
{
    TTempDir dir;
    const auto tone = Tone(dir, 0.5);
    const auto out = (dir.Path() / "r.wav").string();
    TRun run = Tool(dir, "render '" + tone.string() + "' '" + out + "'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("PlayEnded=true"), std::string::npos);
    TEnergy e = Measure(out);
    // The end is seen by the 50 ms poll, then 100 ms follow.
    EXPECT_GE(e.Frames, size_t(44100 * 0.6));
    EXPECT_LE(e.Frames, size_t(44100 * 0.67));

    run = Tool(dir, "render '" + tone.string() + "' '" + out + "' --loop --seconds 1.2");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("PlayEnded=false"), std::string::npos);
    EXPECT_EQ(Measure(out).Frames, size_t(44100 * 1.2));
}

TEST(RenderTool, VolumeAndDistanceLowerTheAmplitude)
{
    TTempDir dir;
    const auto tone = Tone(dir, 0.3);
    const auto out = (dir.Path() / "r.wav").string();
    auto amplitude = [&](const std::string& options) {
        TRun run = Tool(dir, "render '" + tone.string() + "' '" + out + "' --seconds 0.25 " + options);
        EXPECT_EQ(run.Status, 0) << run.Err;
        TEnergy e = Measure(out);
        return std::sqrt(e.Left + e.Right);
    };
    const double near = amplitude("--position 0,0,1");
    EXPECT_NEAR(amplitude("--position 0,0,1 --volume -2000") / near, 0.1, 0.01);
    EXPECT_LT(amplitude("--position 0,0,4") / near, 0.5);
    EXPECT_GT(amplitude("--position 0,0,-1") / near, 0.5); // behind is audible too
}

TEST(RenderTool, BadOptionsAndFilesFailWithTheirReasons)
{
    TTempDir dir;
    const auto tone = Tone(dir, 0.1);
    TRun loop = Tool(dir, "render '" + tone.string() + "' x.wav --loop");
    EXPECT_EQ(loop.Status, 1);
    EXPECT_NE(loop.Err.find("--loop needs --seconds"), std::string::npos);
    TRun position = Tool(dir, "render '" + tone.string() + "' x.wav --position 1,2");
    EXPECT_EQ(position.Status, 1);
    TRun missing = Tool(dir, "render '" + (dir.Path() / "none.wav").string() + "' x.wav");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_FALSE(missing.Err.empty());
}
