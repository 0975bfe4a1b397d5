// A muted row on the real mixer: it fires, repeats and moves on schedule,
// and is heard nowhere.
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "playback/mix_channel_adapter.h"
#include "playback/scheduler.h"
#include "support/wave_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

namespace {

int Peak(ILoopbackRenderer& renderer, TVirtualClock& clock, int ms)
{
    int peak = 0;
    std::vector<int16_t> block(441 * 2);
    for (int done = 0; done < ms; done += 10) {
        renderer.Render(block.data(), 441);
        for (int16_t sample : block)
            peak = std::max(peak, std::abs(int(sample)));
        clock.Advance(10);
    }
    return peak;
}

} // namespace

TEST(MutedRow, FiresAndRepeatsOnScheduleWithoutBeingHeard)
{
    TVirtualClock clock;
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend();
    TMMDSWaveMixer mixer(*loopback.Backend, clock);
    ApplyMainMixerSettings(mixer);
    TMMDSMixChannel channel(&mixer);
    ApplyChannelSettings(channel, 1);
    std::istringstream image(ToneWaveString(4410, 350, 22050, 12000)); // 0.2 s
    channel.Wave().LoadFromStream(image);
    TMixChannelAdapter adapter(channel);

    TPlaybackRow row;
    row.SliderPosition = 50; // every 30 s of a 60 s loop
    row.RepeatMethod = 1;    // normal, twice in a row
    row.RepeatCount = 2;
    row.Pattern = 2;         // pass from behind
    row.PatternSpeed = 2;
    row.CoordZ = 5;
    row.Channel = &adapter;
    UpdatePeriodDisplay(row, 60);

    TScheduler scheduler(clock);
    scheduler.SchemeSelected(60);
    scheduler.SetRows({&row});
    std::vector<std::pair<int64_t, TPlaybackEvent>> events;
    scheduler.OnEvent = [&](int, TPlaybackEvent event) { events.emplace_back(clock.Now(), event); };
    channel.SetOnPlayEnd([&](TMMDSMixChannel&, TMMDSPlayEnd reason) {
        scheduler.ChannelEndPlay(0, reason == TMMDSPlayEnd::peFinished);
    });

    channel.SetMuted(true);
    scheduler.Play();
    // Silence is the mute's attenuation: nothing above the last bit.
    EXPECT_LE(Peak(*loopback.Renderer, clock, 29990), 1);
    // The firing moves the row home and on along its pass while it sounds.
    EXPECT_LE(Peak(*loopback.Renderer, clock, 150), 1);
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_LT(adapter.Position().Z, 5.0L);
    EXPECT_LE(Peak(*loopback.Renderer, clock, 1000), 1);

    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], std::make_pair(int64_t(30000), TPlaybackEvent::Fire));
    EXPECT_EQ(events[1].second, TPlaybackEvent::Repeat);
    EXPECT_EQ(events[2].second, TPlaybackEvent::End);
    EXPECT_NEAR(double(events[2].first - events[1].first), 200, 60); // each play lasts 0.2 s

    // The same row unmuted is heard at its next firing.
    channel.SetMuted(false);
    EXPECT_GT(Peak(*loopback.Renderer, clock, 30000), 1000);
    EXPECT_EQ(events.size(), 6u);
}
