// Mix channels as the scheduler, the rows and the dialogs use them: when a
// play reports its end and which kind, what reloading or destroying a
// channel does to the others, the buffer settings and their clamps, and
// end handlers that destroy or replay channels while the mixer walks them.
#include "audio/ds_channel.h"
#include "audio/mixer_errors.h"
#include "scripted_backend.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TCalls = std::vector<std::string>;

struct TEnd {
    int Tag;
    TMMDSPlayEnd Reason;
    bool operator==(const TEnd&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TEnd& end)
{
    return out << end.Tag << (end.Reason == TMMDSPlayEnd::peFinished ? " finished" : " stopped");
}

constexpr TMMDSPlayEnd Finished = TMMDSPlayEnd::peFinished;
constexpr TMMDSPlayEnd Stopped = TMMDSPlayEnd::peStopped;

class DSChannel : public ::testing::Test {
protected:
    void SetUp() override { mixer = std::make_unique<TMMDSWaveMixer>(backend, clock); }
    void TearDown() override
    {
        channels.clear();
        mixer.reset();
        EXPECT_EQ(backend.Violations(), TCalls{});
    }

    // A channel of the mixer holding `image`, reporting its ends to `ends`.
    TMMDSMixChannel& Channel(const TBytes& image = PcmWaveImage(1, 8000, 8, 100))
    {
        auto channel = std::make_unique<TMMDSMixChannel>(mixer.get());
        channel->SetTag(static_cast<int>(channels.size()));
        if (!image.empty())
            LoadWaveImage(channel->Wave(), image);
        channel->SetOnPlayEnd([this](TMMDSMixChannel& sender, TMMDSPlayEnd reason) {
            ends.push_back({sender.Tag(), reason});
            if (onEnd)
                onEnd(sender, reason);
        });
        channels.push_back(std::move(channel));
        return *channels.back();
    }
    void Destroy(TMMDSMixChannel& channel)
    {
        for (auto& owned : channels)
            if (owned.get() == &channel)
                owned.reset();
    }
    TScriptedBuffer& Platform(TMMDSMixChannel& channel)
    {
        return *static_cast<TScriptedBuffer*>(channel.SoundBuffer().PlatformBuffer());
    }

    TScriptedBackend backend;
    TVirtualClock clock;
    std::unique_ptr<TMMDSWaveMixer> mixer;
    std::vector<std::unique_ptr<TMMDSMixChannel>> channels;
    std::vector<TEnd> ends;
    std::function<void(TMMDSMixChannel&, TMMDSPlayEnd)> onEnd;
};

} // namespace

TEST_F(DSChannel, WithoutAMixerOrASampleNothingOpensAndNothingIsReported)
{
    TMMDSMixChannel detached;
    LoadWaveImage(detached.Wave(), PcmWaveImage(1, 8000, 8, 100));
    TMMDSMixChannel& empty = Channel(TBytes{});
    backend.ClearCalls();
    for (TMMDSMixChannel* channel : {&detached, &empty}) {
        channel->Play();
        EXPECT_FALSE(channel->IsPlaying());
        channel->Stop();
    }
    EXPECT_EQ(backend.Calls(), TCalls{});
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(ends, std::vector<TEnd>{});
}

TEST_F(DSChannel, TheFirstPlayBuildsTheBufferAndLaterOnesReuseIt)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    EXPECT_TRUE(mixer->IsOpen());
    EXPECT_TRUE(channel.IsPlaying());
    channel.Stop();
    channel.Play();
    EXPECT_EQ(backend.BuffersCreated(), 1);
    EXPECT_EQ(backend.Count("buf1.Lock"), 1u);
}

TEST_F(DSChannel, PlayingAPlayingChannelRestartsItWithoutAReport)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    Platform(channel).Position = 60;
    backend.ClearCalls();
    channel.Play();
    EXPECT_EQ(backend.CallsOf("buf1.Play"), TCalls{});
    EXPECT_EQ(Platform(channel).Position, 0u);
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_EQ(mixer->ActivePlays(), 1);
    clock.Advance(200);
    EXPECT_EQ(ends, std::vector<TEnd>{});
}

TEST_F(DSChannel, StopReportsOnceAndOnlyWhenPlaying)
{
    TMMDSMixChannel& channel = Channel();
    channel.Stop(); // never built
    channel.Play();
    channel.Stop();
    channel.Stop(); // already idle
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}}));
    EXPECT_FALSE(channel.IsPlaying());
    EXPECT_EQ(channel.PlayCursor(), 0u);
    EXPECT_EQ(mixer->ActivePlays(), 0);
    EXPECT_EQ(clock.TimerCount(), 0u);
}

TEST_F(DSChannel, ANaturalEndIsReportedWithin50Ms)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    clock.Advance(70);
    Platform(channel).Finish();
    const int64_t ended = clock.Now();
    while (ends.empty() && clock.Now() - ended <= 50)
        clock.Advance(1);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));
    EXPECT_LE(clock.Now() - ended, 50);
    // The next play starts from the first sample, not from where it ended.
    channel.Play();
    EXPECT_EQ(Platform(channel).Position, 0u);
}

TEST_F(DSChannel, ALoopingChannelEndsOnlyWhenStoppedOrWhenLoopingIsTurnedOff)
{
    TMMDSMixChannel& channel = Channel();
    channel.SetLooping(true);
    channel.Play();
    EXPECT_EQ(backend.CallsOf("buf1.Play"), TCalls{"buf1.Play(loop)"});
    EXPECT_TRUE(channel.Looping());
    clock.Advance(1000);
    EXPECT_EQ(ends, std::vector<TEnd>{});

    // Turned off while playing: the play goes on, once, from where it is.
    Platform(channel).Position = 30;
    channel.SetLooping(false);
    EXPECT_EQ(backend.CallsOf("buf1.Play"), (TCalls{"buf1.Play(loop)", "buf1.Play(once)"}));
    EXPECT_EQ(Platform(channel).Position, 30u);
    EXPECT_TRUE(channel.IsPlaying());
    Platform(channel).Finish();
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));

    channel.SetLooping(true);
    channel.Play();
    clock.Advance(1000);
    channel.Stop();
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}, {0, Stopped}}));
}

TEST_F(DSChannel, AMutedChannelPlaysOnSilentlyAndItsEndIsReported)
{
    TMMDSMixChannel& channel = Channel();
    channel.SetVolume(-300);
    channel.Play();
    channel.SetMuted(true);
    EXPECT_EQ(Platform(channel).Volume, -10000);
    EXPECT_EQ(channel.Volume(), -300);
    channel.SetVolume(-400); // kept for the unmute
    EXPECT_EQ(Platform(channel).Volume, -10000);
    EXPECT_TRUE(channel.IsPlaying());
    Platform(channel).Finish();
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));
    channel.SetMuted(false);
    EXPECT_EQ(Platform(channel).Volume, -400);
}

namespace {
struct TSetting {
    const char* Name;
    std::function<void(TMMDSMixChannel&, int32_t)> Set;
    std::function<int32_t(TMMDSMixChannel&)> Get;
    std::function<int64_t(TScriptedBuffer&)> Sent;
    int32_t Value;
    int32_t Stored;
};
} // namespace

TEST_F(DSChannel, SettingsAreClampedStoredAndSentOnlyWhenTheyChange)
{
    auto volume = [](TMMDSMixChannel& c, int32_t v) { c.SetVolume(v); };
    auto getVolume = [](TMMDSMixChannel& c) { return c.Volume(); };
    auto sentVolume = [](TScriptedBuffer& b) -> int64_t { return b.Volume; };
    auto pan = [](TMMDSMixChannel& c, int32_t v) { c.SetPanning(v); };
    auto getPan = [](TMMDSMixChannel& c) { return c.Panning(); };
    auto sentPan = [](TScriptedBuffer& b) -> int64_t { return b.Pan; };
    auto frequency = [](TMMDSMixChannel& c, int32_t v) { c.SetFrequency(v); };
    auto getFrequency = [](TMMDSMixChannel& c) { return c.Frequency(); };
    auto sentFrequency = [](TScriptedBuffer& b) -> int64_t { return b.Frequency; };
    const TSetting cases[] = {
        {"volume 5", volume, getVolume, sentVolume, 5, 0},
        {"volume -20000", volume, getVolume, sentVolume, -20000, -10000},
        {"volume -2500", volume, getVolume, sentVolume, -2500, -2500},
        {"panning 12000", pan, getPan, sentPan, 12000, 10000},
        {"panning -12000", pan, getPan, sentPan, -12000, -10000},
        {"frequency 200000", frequency, getFrequency, sentFrequency, 200000, 100000},
        {"frequency 500", frequency, getFrequency, sentFrequency, 500, 500},
        {"frequency -5", frequency, getFrequency, sentFrequency, -5, 0},
    };
    for (const TSetting& c : cases) {
        SCOPED_TRACE(c.Name);
        // Before the buffer exists: stored, and sent when it is built.
        TMMDSMixChannel& channel = Channel();
        c.Set(channel, c.Value);
        EXPECT_EQ(c.Get(channel), c.Stored);
        channel.Play();
        EXPECT_EQ(c.Sent(Platform(channel)), c.Stored);
        EXPECT_EQ(c.Get(channel), c.Stored);

        // With the buffer: sent at once, and not again for the same value.
        TMMDSMixChannel& live = Channel();
        live.Play();
        const std::string name = Platform(live).Name();
        const size_t before = backend.Count(name + ".Set");
        c.Set(live, c.Value);
        EXPECT_EQ(c.Sent(Platform(live)), c.Stored);
        const size_t after = backend.Count(name + ".Set");
        EXPECT_EQ(after - before, c.Stored == 0 ? 0u : 1u);
        c.Set(live, c.Value);
        EXPECT_EQ(backend.Count(name + ".Set"), after);
    }
}

TEST_F(DSChannel, ReadingSettingsOfABuiltChannelAsksThePlatform)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    Platform(channel).Volume = -700;
    Platform(channel).Pan = -50;
    Platform(channel).Frequency = 9000;
    EXPECT_EQ(channel.Volume(), -700);
    EXPECT_EQ(channel.Panning(), -50);
    EXPECT_EQ(channel.Frequency(), 9000);
    channel.SetMuted(true);
    backend.ClearCalls();
    EXPECT_EQ(channel.Volume(), -700); // the stored one, not the silence sent
    EXPECT_EQ(backend.Count("buf1.GetVolume"), 0u);
}

TEST_F(DSChannel, PlayCursorIsThePlatformsWhileBuiltAndTheLastOneOtherwise)
{
    TMMDSMixChannel& channel = Channel();
    EXPECT_EQ(channel.PlayCursor(), 0u);
    channel.SetPlayCursor(40);
    EXPECT_EQ(channel.PlayCursor(), 40u);
    channel.Play();
    Platform(channel).Position = 24;
    EXPECT_EQ(channel.PlayCursor(), 24u);
    backend.Fail("GetCurrentPosition", DSERR_GENERIC);
    EXPECT_THROW(channel.PlayCursor(), EDirectSoundError);
    channel.Stop();
    EXPECT_EQ(channel.PlayCursor(), 0u);
}

TEST_F(DSChannel, ANewImageStopsThePlayAndTheNextPlayBuildsFromIt)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    LoadWaveImage(channel.Wave(), PcmWaveImage(2, 8000, 16, 30));
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}}));
    EXPECT_TRUE(backend.Buffers().empty());
    EXPECT_EQ(mixer->BufferCount(), 0u);
    EXPECT_EQ(mixer->ActivePlays(), 0);
    channel.Play();
    ASSERT_EQ(backend.Buffers().size(), 1u);
    EXPECT_EQ(backend.Buffers()[0]->Desc().BufferBytes, 30u * 4);
    EXPECT_TRUE(channel.IsPlaying());
}

TEST_F(DSChannel, DestroyingAnyChannelClosesTheDeviceForAll)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& c = Channel();
    TMMDSMixChannel& d = Channel();
    a.Play();
    b.Play();
    b.Stop();
    c.Play();
    d.Play();
    ends.clear();
    Destroy(d); // playing, but reports nothing of its own
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}, {2, Stopped}}));
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(backend.Device(), nullptr);
    EXPECT_EQ(mixer->ActivePlays(), 0);
    for (TMMDSMixChannel* channel : {&a, &b, &c})
        EXPECT_EQ(channel->SoundBuffer().PlatformBuffer(), nullptr);
    b.Play();
    EXPECT_TRUE(mixer->IsOpen());
    EXPECT_TRUE(b.IsPlaying());
    EXPECT_EQ(backend.Buffers().size(), 1u);
}

TEST_F(DSChannel, ChannelsWithoutFileNamesGetBufferNames1And2)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    a.Play();
    b.Play();
    EXPECT_EQ(a.SoundBuffer().Name(), "1");
    EXPECT_EQ(b.SoundBuffer().Name(), "2");
}

TEST_F(DSChannel, ALostBufferIsRestoredAndRefilledAtTheNextPlay)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    Platform(channel).Lose();
    channel.Play();
    EXPECT_EQ(backend.Count("buf1.Restore"), 1u);
    const uint8_t* data = channel.Wave().SampleData();
    EXPECT_EQ(Platform(channel).Data(), TBytes(data, data + channel.Wave().DataBytes()));
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_EQ(mixer->ActivePlays(), 1);
}

TEST_F(DSChannel, ARefusedLockPlaysSilentlyAndTheNextPlayTriesAgain)
{
    TMMDSMixChannel& channel = Channel();
    backend.Fail("Lock", DSERR_INVALIDCALL);
    EXPECT_NO_THROW(channel.Play());
    EXPECT_FALSE(channel.IsPlaying());
    EXPECT_EQ(mixer->ActivePlays(), 0);
    clock.Advance(100);
    EXPECT_EQ(ends, std::vector<TEnd>{});
    channel.Play();
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_EQ(backend.BuffersCreated(), 2);
}

TEST_F(DSChannel, AnEndThatThePollDidNotSeeIsCountedOnce)
{
    // Replayed before the poll saw the end: a restart from the first sample.
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    Platform(channel).Finish();
    channel.Play();
    EXPECT_EQ(Platform(channel).Position, 0u);
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_EQ(mixer->ActivePlays(), 1);
    Platform(channel).Finish();
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));
    EXPECT_EQ(clock.TimerCount(), 0u);

    // Stopped after an unseen end: idle, nothing to report, nothing left
    // counted.
    channel.Play();
    Platform(channel).Finish();
    channel.Stop();
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(mixer->ActivePlays(), 0);
    EXPECT_EQ(clock.TimerCount(), 0u);
}

TEST_F(DSChannel, EndHandlersMayReplayChannelsDuringThePoll)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& c = Channel();
    TMMDSMixChannel& d = Channel();
    for (TMMDSMixChannel* channel : {&a, &b, &c, &d})
        channel->Play();
    for (TMMDSMixChannel* channel : {&a, &b, &c, &d})
        Platform(*channel).Finish();
    // b plays itself and d again before the walk reaches d.
    onEnd = [&](TMMDSMixChannel& sender, TMMDSPlayEnd) {
        if (&sender == &b) {
            b.Play();
            d.Play();
        }
    };
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}, {1, Finished}, {2, Finished}}));
    EXPECT_EQ(mixer->ActivePlays(), 2);
    EXPECT_EQ(clock.TimerCount(), 1u);
    onEnd = nullptr;
    Platform(d).Finish();
    Platform(b).Finish();
    clock.Advance(50);
    EXPECT_EQ(ends.size(), 5u);
    EXPECT_EQ(ends[3], (TEnd{1, Finished}));
    EXPECT_EQ(ends[4], (TEnd{3, Finished}));
    EXPECT_EQ(clock.TimerCount(), 0u);
}

TEST_F(DSChannel, EndHandlersMayDestroyChannelsDuringThePoll)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& c = Channel();
    for (TMMDSMixChannel* channel : {&a, &b, &c})
        channel->Play();
    for (TMMDSMixChannel* channel : {&a, &b, &c})
        Platform(*channel).Finish();
    // a destroys itself, which closes the device under the walk, and plays
    // c, which builds its buffer anew and is listed again.
    onEnd = [&](TMMDSMixChannel& sender, TMMDSPlayEnd) {
        if (&sender == &a) {
            Destroy(a);
            c.Play();
        }
    };
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));
    EXPECT_EQ(b.SoundBuffer().PlatformBuffer(), nullptr);
    EXPECT_TRUE(c.IsPlaying());
    EXPECT_EQ(mixer->ActivePlays(), 1);
    EXPECT_EQ(clock.TimerCount(), 1u);
}

TEST_F(DSChannel, AHandlerMayDestroyTheReportedChannelAndReplayOthers)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& c = Channel();
    a.Play();
    b.Play();
    c.Play();
    Platform(a).Finish();
    Platform(c).Finish();
    onEnd = [&](TMMDSMixChannel& sender, TMMDSPlayEnd) {
        if (&sender == &a)
            c.Play(); // c's end is then never seen: it plays again
    };
    mixer->SetOnBufferEnd([&](TMMDSWaveMixer&, TMMDSSoundBuffer& buffer) {
        if (&buffer == &b.SoundBuffer())
            Destroy(b);
    });
    clock.Advance(50);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}}));
    EXPECT_TRUE(c.IsPlaying());
    Platform(b).Finish();
    clock.Advance(50);
    // b was destroyed in the mixer's report, before its own could come.
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Finished}, {2, Stopped}}));
    EXPECT_FALSE(mixer->IsOpen());
}

TEST_F(DSChannel, AHandlerMayDestroyTheChannelThatACloseHasJustStopped)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& dying = Channel();
    a.Play();
    b.Play();
    // A dialog that frees its channel when the play ends.
    onEnd = [&](TMMDSMixChannel& sender, TMMDSPlayEnd) {
        if (&sender == &a)
            Destroy(a);
    };
    Destroy(dying);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}, {1, Stopped}}));
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(mixer->BufferCount(), 0u);
    EXPECT_EQ(mixer->ActivePlays(), 0);
}

TEST_F(DSChannel, HandlersReplayingOnStopCannotKeepAClosingDeviceOpen)
{
    TMMDSMixChannel& a = Channel();
    TMMDSMixChannel& b = Channel();
    TMMDSMixChannel& dying = Channel();
    a.Play();
    b.Play();
    // Each stop plays the other channel, whose buffer the close has already
    // taken or is about to take: left alone they would rebuild each other
    // for ever.
    int replays = 0;
    onEnd = [&](TMMDSMixChannel& sender, TMMDSPlayEnd) {
        if (++replays < 10)
            (&sender == &a ? b : a).Play();
    };
    Destroy(dying);
    EXPECT_EQ(replays, 2);
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_TRUE(backend.Buffers().empty());
    EXPECT_EQ(backend.BuffersCreated(), 2); // nothing was built under the closing device
    onEnd = nullptr;
    a.Play();
    EXPECT_TRUE(a.IsPlaying());
}

TEST_F(DSChannel, AMixerThatGoesFirstLeavesItsChannelsWithoutOne)
{
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    mixer.reset();
    EXPECT_EQ(channel.Mixer(), nullptr);
    EXPECT_EQ(ends, std::vector<TEnd>{});
    EXPECT_TRUE(backend.Buffers().empty());
    channel.Play();
    EXPECT_FALSE(channel.IsPlaying());
}

TEST_F(DSChannel, MovingToAnotherMixerReleasesTheOldBuffer)
{
    TScriptedBackend other;
    TMMDSWaveMixer second(other, clock);
    TMMDSMixChannel& channel = Channel();
    channel.Play();
    channel.SetMixer(&second);
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}}));
    EXPECT_EQ(mixer->BufferCount(), 0u);
    channel.Play();
    EXPECT_EQ(second.BufferCount(), 1u);
    EXPECT_EQ(other.Buffers().size(), 1u);
    Destroy(channel);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(other.Violations(), TCalls{});
}

TEST_F(DSChannel, AReopenedDevicePlaysOnFromWhereItWasWithoutReports)
{
    mixer->SetUse3D(true);
    TMMDSMixChannel& looping = Channel();
    TMMDSMixChannel& once = Channel();
    TMMDSMixChannel& idle = Channel();
    looping.SetLooping(true);
    looping.Sound3D().Position().SetX(3);
    looping.Sound3D().Position().SetZ(1);
    looping.Play();
    once.Play();
    TMMDSMixChannel& ranOut = Channel(); // ended, unseen by the poll yet
    idle.Play();
    idle.Stop();
    ranOut.Play();
    Platform(ranOut).Finish();
    ends.clear();
    Platform(looping).Position = 40;
    Platform(once).Position = 70;

    mixer->ReopenDevice([&] { mixer->SetHeadphones(true); });

    EXPECT_EQ(backend.DevicesCreated(), 3); // the capability read, the first open, the reopen
    EXPECT_TRUE(backend.Headphones);
    EXPECT_EQ(ends, (std::vector<TEnd>{{3, Finished}})); // owed, and told once
    ends.clear();
    EXPECT_FALSE(ranOut.IsPlaying());
    EXPECT_TRUE(looping.IsPlaying());
    EXPECT_TRUE(once.IsPlaying());
    EXPECT_FALSE(idle.IsPlaying());
    EXPECT_EQ(Platform(looping).Position, 40u);
    EXPECT_TRUE(Platform(looping).Looping);
    EXPECT_EQ(Platform(once).Position, 70u);
    EXPECT_EQ(backend.Buffer3D(Platform(looping).Name() + ".3d")->Params.Position, (TVector3{3, 0, 1}));
    EXPECT_EQ(mixer->ActivePlays(), 2);
    // The resumed plays end as any other does.
    Platform(once).Finish();
    clock.Advance(60);
    EXPECT_EQ(ends, (std::vector<TEnd>{{1, Finished}}));
}

TEST_F(DSChannel, HeadphonesChangeOnlyAtAnOpenAndAFailedReopenEndsThePlays)
{
    TMMDSMixChannel& channel = Channel();
    mixer->ReopenDevice([&] { mixer->SetHeadphones(true); }); // closed: only the change
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(backend.DevicesCreated(), 1);
    channel.Play();
    EXPECT_TRUE(backend.Headphones);
    EXPECT_THROW(mixer->SetHeadphones(false), EMMDSWaveMixError);

    backend.Fail("CreateDevice", DSERR_NODRIVER);
    EXPECT_THROW(mixer->ReopenDevice([&] { mixer->SetHeadphones(false); }), EDirectSoundError);
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(ends, (std::vector<TEnd>{{0, Stopped}}));
    EXPECT_EQ(mixer->ActivePlays(), 0);
    channel.Play(); // the next play opens the device again
    EXPECT_TRUE(channel.IsPlaying());
    EXPECT_FALSE(backend.Headphones);
}
