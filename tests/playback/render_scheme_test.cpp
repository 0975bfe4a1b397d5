// ambitone-tool render-scheme: a scheme stored in a real record store, played
// by the scheduler on the virtual clock and rendered offline; the event lines
// are checked against the schedule the rows' settings give.
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "playback/mix_channel_adapter.h"
#include "store/database.h"
#include "store/table.h"

#include "scheme_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct TRun {
    int Status;
    std::string Out, Err;
};

TRun Tool(const TScratchDir& dir, const std::string& arguments)
{
    const fs::path out = dir.Path() / "stdout.txt", err = dir.Path() / "stderr.txt";
    const std::string command = std::string("'") + AMBITONE_TOOL_PATH + "' render-scheme " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// Built rows, in order: 0 every 30 s; 1 looping; 2 never; 3 every 15 s in
// bursts of three (Normal, 3), circling; 4 every 30 s at first, then
// randomized. A scheme sample naming no sound sits between rows 0 and 1, and
// another scheme's row must not be played.
fs::path MakeStore(const TScratchDir& dir)
{
    const fs::path data = dir.Path() / "Data";
    fs::create_directories(data);
    TDatabase db;
    db.SetDirectory(data);
    CreateTables(db);
    const int forest = AddScheme(db, "Forest", 60);
    AddRows(db, forest,
            {{0, 50},
             {4242, 50},
             {0, 100, false, 0, 0, 0, 1, -3, 0, 0},
             {0, 0},
             {0, 75, false, 1, 3, 1, 2, 3, 0, 4},
             {0, 50, true, 0, 0, 2, 1, 0, 0, 5}});
    AddRows(db, AddScheme(db, "Other", 60), {{0, 99}});
    return data;
}

struct TEvent {
    int Ms;
    int Row;
    std::string Kind;
    bool operator==(const TEvent&) const = default;
};

std::vector<TEvent> Events(const std::string& out)
{
    std::vector<TEvent> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        int seconds = 0, ms = 0, row = 0;
        char kind[16] = {};
        if (std::sscanf(line.c_str(), "t=%d.%3d row=%d event=%15s", &seconds, &ms, &row, kind) == 4)
            events.push_back({seconds * 1000 + ms, row, kind});
    }
    return events;
}

std::vector<TEvent> OfRow(const std::vector<TEvent>& events, int row)
{
    std::vector<TEvent> selected;
    for (const TEvent& e : events)
        if (e.Row == row)
            selected.push_back(e);
    return selected;
}

std::vector<int> FireTimes(const std::vector<TEvent>& events, int row)
{
    std::vector<int> times;
    for (const TEvent& e : OfRow(events, row))
        if (e.Kind == "fire")
            times.push_back(e.Ms);
    return times;
}

std::string Value(const std::string& out, const std::string& name)
{
    const size_t at = out.find("\n" + name + "=");
    if (at == std::string::npos)
        return "";
    const size_t from = at + name.size() + 2;
    return out.substr(from, out.find('\n', from) - from);
}

std::string Quote(const fs::path& path)
{
    return "'" + path.string() + "'";
}

class RenderScheme : public ::testing::Test {
protected:
    void SetUp() override { m_data = MakeStore(m_dir); }
    TRun Render(const std::string& options, const std::string& wav = "out.wav")
    {
        return Tool(m_dir, Quote(m_data) + " Forest " + Quote(m_dir.Path() / wav) + " " + options);
    }
    TScratchDir m_dir{"render-scheme"};
    fs::path m_data;
};

} // namespace

TEST_F(RenderScheme, TenLoopsFireOnTheRowsSchedules)
{
    const TRun run = Render("--seconds 600");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Value(run.Out, "Rows"), "5");
    EXPECT_EQ(Value(run.Out, "SkippedRows"), "1");
    const std::vector<TEvent> events = Events(run.Out);

    struct TExpected {
        int Row, Period;
    };
    // Every row counts from Play; short samples never hold a firing back.
    for (const TExpected& expected : {TExpected{0, 30}, TExpected{3, 15}}) {
        std::vector<int> times;
        for (int t = expected.Period; t <= 600; t += expected.Period)
            times.push_back(t * 1000);
        EXPECT_EQ(FireTimes(events, expected.Row), times) << "row " << expected.Row;
    }
    for (const TEvent& e : OfRow(events, 0))
        EXPECT_NE(e.Kind, "repeat") << "a row without repeat replays at " << e.Ms;
    EXPECT_TRUE(OfRow(events, 1).empty()) << "the looping row is never fired by the tick";
    EXPECT_TRUE(OfRow(events, 2).empty()) << "the row at Seldom never sounds";

    // Normal with a count of 3: each firing sounds three times, back to back.
    const std::vector<TEvent> burst = OfRow(events, 3);
    ASSERT_FALSE(burst.empty());
    size_t whole = burst.size() / 4 * 4;
    for (size_t i = 0; i < whole; i += 4) {
        EXPECT_EQ(burst[i].Kind, "fire");
        EXPECT_EQ(burst[i + 1].Kind, "repeat");
        EXPECT_EQ(burst[i + 2].Kind, "repeat");
        EXPECT_EQ(burst[i + 3].Kind, "end");
        // Each 0.5 s play is seen to end by the 50 ms poll.
        for (size_t k = 1; k < 4; ++k) {
            const int gap = burst[i + k].Ms - burst[i + k - 1].Ms;
            EXPECT_GE(gap, 500) << "event " << i + k;
            EXPECT_LE(gap, 560) << "event " << i + k;
        }
    }
    // The firing at the very end of the render has not finished its burst.
    EXPECT_EQ(burst.size() - whole, 1u);

    // The randomized row's first wait is its own period; the next ones are
    // Round(e / 100 x 60) for e in 1..29: 1 to 17 seconds, whole.
    const std::vector<int> random = FireTimes(events, 4);
    ASSERT_GE(random.size(), 10u);
    EXPECT_EQ(random[0], 30000);
    for (size_t i = 1; i < random.size(); ++i) {
        const int wait = random[i] - random[i - 1];
        EXPECT_EQ(wait % 1000, 0);
        EXPECT_GE(wait, 1000);
        EXPECT_LE(wait, 17000);
    }
    EXPECT_EQ(Value(run.Out, "Fires"),
              std::to_string(FireTimes(events, 0).size() + FireTimes(events, 3).size() + random.size()));
}

TEST_F(RenderScheme, TheSameArgumentsGiveTheSameBytes)
{
    for (const char* options : {"--seconds 90 --start 10:20:30.400", "--seconds 20 --headphones"}) {
        const TRun first = Render(options, "a.wav"), second = Render(options, "b.wav");
        ASSERT_EQ(first.Status, 0) << first.Err;
        ASSERT_EQ(second.Status, 0) << second.Err;
        EXPECT_EQ(first.Out, second.Out) << options;
        const std::string a = ReadFile(m_dir.Path() / "a.wav");
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == ReadFile(m_dir.Path() / "b.wav")) << options;
    }
    // HRTF renders differently from the plain stereo mix.
    ASSERT_EQ(Render("--seconds 20", "plain.wav").Status, 0);
    EXPECT_FALSE(ReadFile(m_dir.Path() / "plain.wav") == ReadFile(m_dir.Path() / "b.wav"));
}

TEST_F(RenderScheme, AnotherStartTimeChangesOnlyTheRandomizedRow)
{
    const TRun midnight = Render("--seconds 300");
    const TRun later = Render("--seconds 300 --start 17:42:05.321");
    ASSERT_EQ(midnight.Status, 0) << midnight.Err;
    ASSERT_EQ(later.Status, 0) << later.Err;
    const std::vector<TEvent> a = Events(midnight.Out), b = Events(later.Out);
    for (int row : {0, 1, 2, 3}) {
        EXPECT_EQ(OfRow(a, row), OfRow(b, row)) << "row " << row;
    }
    EXPECT_NE(OfRow(a, 4), OfRow(b, 4));
}

TEST_F(RenderScheme, TheDefaultIsOneLoopOfAudibleStereo)
{
    const TRun run = Render("");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Value(run.Out, "Frames"), "2646000");
    EXPECT_EQ(Value(run.Out, "Seconds"), "60.000");
    const std::string wav = ReadFile(m_dir.Path() / "out.wav");
    ASSERT_GE(wav.size(), 44u);
    auto u16 = [&](size_t at) { return uint16_t(uint8_t(wav[at]) | uint8_t(wav[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u16(20), 1);      // PCM
    EXPECT_EQ(u16(22), 2);      // stereo
    EXPECT_EQ(u32(24), 44100u); // rate
    EXPECT_EQ(u16(34), 16);     // bits
    ASSERT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(u32(40), 2646000u * 4);
    EXPECT_EQ(wav.size(), 44 + 2646000u * 4);
    // The looping row sounds from the start: the first second is not silent.
    double energy = 0;
    for (size_t at = 44; at < 44 + 44100 * 4; at += 2)
        energy += std::pow(static_cast<int16_t>(u16(at)), 2);
    EXPECT_GT(std::sqrt(energy / (44100 * 2)), 100);
}

TEST_F(RenderScheme, ItOnlyReadsTheStore)
{
    ASSERT_EQ(Render("--seconds 5").Status, 0);
    TDatabase db;
    db.SetDirectory(m_data);
    TTable data(db, "SchemeData");
    data.Open();
    EXPECT_EQ(data.RecordCount(), 7) << "the scheme sample without a sound is kept";
}

TEST_F(RenderScheme, FailuresExitWithAMessage)
{
    struct TCase {
        std::string Arguments, Message;
    };
    const fs::path wav = m_dir.Path() / "x.wav";
    for (const TCase& c : std::vector<TCase>{
             {Quote(m_data) + " Desert " + Quote(wav), "no scheme titled \"Desert\""},
             {Quote(m_dir.Path() / "nowhere") + " Forest " + Quote(wav), "no record store"},
             {Quote(m_data) + " Forest " + Quote(wav) + " --start 24:00:00.000", "--start"},
             {Quote(m_data) + " Forest " + Quote(wav) + " --seconds 0", "--seconds"},
             {Quote(m_data) + " Forest", "Usage"},
         }) {
        const TRun run = Tool(m_dir, c.Arguments);
        EXPECT_EQ(run.Status, 1) << c.Arguments;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(wav)) << c.Arguments;
    }
    EXPECT_FALSE(fs::exists(m_dir.Path() / "nowhere")) << "no store is created where none was";
}

// The adapter the tool's rows play through: positions come back as the
// platform holds them, at single precision, before and after the channel
// has its platform buffer.
TEST(MixChannelAdapter, ForwardsToTheChannelAndReportsSinglePrecision)
{
    TVirtualClock clock;
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend();
    auto mixer = std::make_unique<TMMDSWaveMixer>(*loopback.Backend, clock);
    ApplyMainMixerSettings(*mixer);
    auto channel = std::make_unique<TMMDSMixChannel>(mixer.get());
    ApplyChannelSettings(*channel, 1);
    const std::vector<uint8_t> image = ToneImage(440, 0.2);
    std::istringstream stream(std::string(image.begin(), image.end()));
    channel->Wave().LoadFromStream(stream);
    TMixChannelAdapter adapter(*channel);

    adapter.SetPositionX(0.1L);
    adapter.SetPositionY(-2.5L);
    adapter.SetPositionZ(1.0L / 3);
    auto expectSingle = [&](const char* when) {
        const TPlaybackPosition p = adapter.Position();
        EXPECT_EQ(p.X, static_cast<long double>(0.1f)) << when;
        EXPECT_EQ(p.Y, -2.5L) << when;
        EXPECT_EQ(p.Z, static_cast<long double>(1.0f / 3)) << when;
    };
    expectSingle("before the first play");

    EXPECT_FALSE(adapter.IsPlaying());
    adapter.SetLooping(true);
    EXPECT_TRUE(adapter.Looping());
    adapter.Play();
    EXPECT_TRUE(channel->IsPlaying());
    EXPECT_TRUE(adapter.IsPlaying());
    expectSingle("read back from the platform");
    adapter.SetPositionZ(-4);
    EXPECT_EQ(channel->Sound3D().Position().Z(), -4.0L);
    adapter.Stop();
    EXPECT_FALSE(adapter.IsPlaying());
    adapter.SetLooping(false);
    EXPECT_FALSE(channel->Looping());
    channel.reset();
    mixer.reset();
}

// With --sleep-after the render is untouched until the fade, then its level
// falls linearly to silence at the chosen time, where the scheme stops.
TEST_F(RenderScheme, TheSleepTimerFadesTheLastThirtySecondsToSilence)
{
    ASSERT_EQ(Render("--seconds 50", "awake.wav").Status, 0);
    const TRun asleep = Render("--seconds 50 --sleep-after 40", "asleep.wav");
    ASSERT_EQ(asleep.Status, 0) << asleep.Err;
    const std::string awake = ReadFile(m_dir.Path() / "awake.wav"), fading = ReadFile(m_dir.Path() / "asleep.wav");
    ASSERT_EQ(awake.size(), fading.size());
    const size_t header = 44, bytesPerSecond = 44100 * 2 * 2;
    auto samples = [&](const std::string& image, double from, double to) {
        std::vector<int16_t> out(size_t((to - from) * 44100 * 2));
        std::memcpy(out.data(), image.data() + header + size_t(from * 44100) * 4, out.size() * 2);
        return out;
    };
    EXPECT_EQ(awake.compare(0, header + 10 * bytesPerSecond, fading, 0, header + 10 * bytesPerSecond), 0)
        << "the first 10 s are the same bytes";
    // Where both sound, the fading render is the awake one scaled by the
    // level of the moment: about 1/2 at 25 s, about 1/6 at 35 s.
    auto level = [&](double at) {
        const auto a = samples(awake, at - 0.05, at + 0.05), f = samples(fading, at - 0.05, at + 0.05);
        double dot = 0, norm = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            dot += double(a[i]) * f[i];
            norm += double(a[i]) * a[i];
        }
        return norm > 0 ? dot / norm : -1.0;
    };
    EXPECT_NEAR(level(25), 0.5, 0.03);
    EXPECT_NEAR(level(35), 5.0 / 30, 0.03);
    int late = 0;
    for (int16_t s : samples(fading, 40.05, 50))
        late = std::max(late, std::abs(int(s)));
    EXPECT_LE(late, 1) << "stopped at 40 s: silence, to the mix's last bit";
}
