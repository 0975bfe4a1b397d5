// Schemes rendered to WAV, FLAC and Ogg Vorbis files (render/scheme_render.h
// over render/sound_file_writer.h), read back with libsndfile; a refused
// name, a failure or a cancel leaves no file; renders on two threads at once.
#include "render/scheme_render.h"
#include "render/sound_file_writer.h"

#include "scheme_store.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TDecoded {
    int Format = 0, Channels = 0, Rate = 0;
    std::vector<int16_t> Samples;
};

TDecoded Decode(const fs::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return {};
    }
    TDecoded decoded{info.format, info.channels, info.samplerate, {}};
    decoded.Samples.resize(static_cast<size_t>(info.frames * info.channels));
    decoded.Samples.resize(static_cast<size_t>(sf_readf_short(file, decoded.Samples.data(), info.frames) * info.channels));
    sf_close(file);
    return decoded;
}

std::string Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Entries(const fs::path& dir)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

double Rms(const std::vector<int16_t>& samples)
{
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * s;
    return std::sqrt(sum / double(std::max<size_t>(samples.size(), 1)));
}

// "Brook", a 60 s loop: a looping row heard from the first moment, a circling
// row every 3 s in bursts of a random length, and a randomized one every 6 s
// at first. The bursts and the later waits come from the render's generator,
// and so tell two start times apart within seconds; a burst's end draws
// between the scheduler's reseeds, where a shared generator would show. A
// second "Brook" of 30 s with one row can only be told from it by its number.
class RenderFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_data);
        TDatabase db;
        db.SetDirectory(m_data);
        CreateTables(db);
        AddRows(db, AddScheme(db, "Brook", 60),
                {{0, 100, false, 0, 0, 0, 1, -2, 0, 1, 1.0},
                 {0, 95, false, 4, 5, 1, 3, 2, 0, 2, 0.2},
                 {0, 90, true, 0, 0, 0, 1, 0, 0, 3, 0.3}});
        m_twinNo = AddScheme(db, "Brook", 30);
        AddRows(db, m_twinNo, {{0, 100}});
    }

    fs::path Out(const std::string& name) const { return m_dir.Path() / name; }

    TSchemeRenderOptions Options(const std::string& out, double seconds) const
    {
        TSchemeRenderOptions options;
        options.DataDir = m_data;
        options.Title = "Brook";
        options.Out = out.empty() ? fs::path() : Out(out);
        options.Seconds = seconds;
        return options;
    }

    TScratchDir m_dir{"render-file"};
    fs::path m_data = m_dir.Path() / "Data";
    int m_twinNo = 0;
};

} // namespace

TEST_F(RenderFile, FlacHoldsTheWavSamplesExactlyAndOggSoundsAsLong)
{
    TSchemeRenderOptions options = Options("out.wav", 6.5);
    std::vector<double> progress;
    options.OnProgress = [&](double done) { progress.push_back(done); };
    const TSchemeRenderResult run = RenderScheme(options);
    EXPECT_GE(progress.size(), 7u) << "once a rendered second at least, and at the end";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);

    const TDecoded wav = Decode(Out("out.wav"));
    EXPECT_EQ(wav.Format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << "a short render stays plain RIFF";
    EXPECT_EQ(wav.Rate, 44100);
    ASSERT_EQ(int64_t(wav.Samples.size()), run.Frames * 2);
    int peak = 0;
    for (int16_t s : wav.Samples)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_EQ(run.Peak, peak) << "the peak is taken over every chunk written";
    ASSERT_GT(Rms(wav.Samples), 100);

    // The extension is read in any case.
    RenderScheme(Options("out.FLAC", 6.5));
    const TDecoded flac = Decode(Out("out.FLAC"));
    EXPECT_EQ(flac.Format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_TRUE(flac.Samples == wav.Samples) << "FLAC is lossless";

    // Vorbis is lossy: the same length to its block granularity, and the
    // same loudness within a few per cent.
    RenderScheme(Options("out.ogg", 6.5));
    const TDecoded ogg = Decode(Out("out.ogg"));
    EXPECT_EQ(ogg.Format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_NEAR(double(ogg.Samples.size()), double(wav.Samples.size()), 2 * 2048);
    EXPECT_NEAR(Rms(ogg.Samples) / Rms(wav.Samples), 1.0, 0.05);

    EXPECT_EQ(Entries(m_dir.Path()), (std::set<std::string>{"Data", "out.wav", "out.FLAC", "out.ogg"}))
        << "no temporary file is left beside them";
}

TEST_F(RenderFile, ARefusedNameOrACancelLeavesNoFileAndTheOldOneAsItWas)
{
    for (const char* name : {"out.mp3", "out", "out.wav.part"}) {
        try {
            RenderScheme(Options(name, 2));
            ADD_FAILURE() << name << " was written";
        } catch (const EAmbitoneError& e) {
            EXPECT_NE(std::string(e.what()).find(".wav, .flac or .ogg"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Entries(m_dir.Path()), std::set<std::string>{"Data"});

    std::ofstream(Out("kept.wav"), std::ios::binary) << "an earlier render";
    for (const char* name : {"kept.wav", "fresh.ogg"}) {
        TSchemeRenderOptions options = Options(name, 5);
        std::atomic<bool> cancel{false};
        int reports = 0;
        options.Cancel = &cancel;
        options.OnProgress = [&](double) {
            ++reports;
            cancel = true;
        };
        EXPECT_THROW(RenderScheme(options), ERenderCancelled) << name;
        EXPECT_EQ(reports, 1) << "the render stops at the next step";
    }
    EXPECT_EQ(Bytes(Out("kept.wav")), "an earlier render");
    EXPECT_EQ(Entries(m_dir.Path()), (std::set<std::string>{"Data", "kept.wav"}));
}

TEST_F(RenderFile, ASchemeNumberFindsASchemeItsTitleCannot)
{
    TSchemeRenderOptions options = Options("", 1);
    EXPECT_EQ(RenderScheme(options).LoopLength, 60) << "the title finds the first Brook";
    options.SchemeNo = m_twinNo;
    EXPECT_EQ(RenderScheme(options).LoopLength, 30);
    options.SchemeNo = m_twinNo + 100;
    EXPECT_THROW(RenderScheme(options), EAmbitoneError);
}

// The render keeps its generator, clock and device to itself: two at once,
// on two threads, give what each gives alone.
TEST_F(RenderFile, RendersOnTwoThreadsAtOnceMatchLoneOnes)
{
    TSchemeRenderOptions first = Options("first.wav", 12), second = Options("second.wav", 12);
    second.StartMs = 17 * 3600 * 1000 + 42 * 60 * 1000 + 5321;
    RenderScheme(first);
    RenderScheme(second);
    const std::string lone1 = Bytes(first.Out), lone2 = Bytes(second.Out);
    ASSERT_FALSE(lone1 == lone2) << "the start time must change the random draws, or this proves nothing";

    first.Out = Out("first-again.wav");
    second.Out = Out("second-again.wav");
    std::string failure;
    std::thread worker([&] {
        try {
            RenderScheme(first);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    RenderScheme(second);
    worker.join();
    ASSERT_EQ(failure, "");
    EXPECT_TRUE(Bytes(first.Out) == lone1);
    EXPECT_TRUE(Bytes(second.Out) == lone2);
}

// A write of unknown length: RF64 turned back into RIFF at the end, the same
// samples; and a writer held to the length it was promised.
TEST(SoundFileWriter, AnUnboundedWavReadsBackAndAPromiseIsKept)
{
    TScratchDir dir("sound-file-writer");
    std::vector<int16_t> frames(2 * 1000);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = static_cast<int16_t>(i * 37 - 20000);
    {
        TSoundFileWriter writer(dir.Path() / "open.wav", 2, 22050);
        writer.Write(frames.data(), 1000);
        writer.Commit();
    }
    EXPECT_EQ(Bytes(dir.Path() / "open.wav").substr(0, 4), "RIFF");
    EXPECT_TRUE(Decode(dir.Path() / "open.wav").Samples == frames);

    TSoundFileWriter bounded(dir.Path() / "bounded.flac", 2, 22050, 600);
    bounded.Write(frames.data(), 600);
    EXPECT_THROW(bounded.Write(frames.data(), 1), EAmbitoneError);
    EXPECT_THROW(bounded.Commit(), EAmbitoneError) << "a failed writer is closed";
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"open.wav"});
}
