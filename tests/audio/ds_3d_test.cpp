// The 3D parameter holders against a scripted 3D interface: what is sent
// when, what is read back and at which precision, update nesting, deferred
// sends, and attaching through a channel's first play.
#include "audio/ds_3d.h"
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

TSoundBufferDesc Desc(uint32_t flags)
{
    return TSoundBufferDesc{flags, 16, TWaveFormat::Pcm(1, 8000, 8)};
}

class DS3D : public ::testing::Test {
protected:
    void TearDown() override
    {
        sound.Detach();
        EXPECT_EQ(backend.Violations(), TCalls{});
    }
    TScripted3DBuffer& Platform() { return *backend.Buffer3D("buf1.3d"); }

    TScriptedBackend backend;
    TScriptedDevice device{backend, "device"};
    TScriptedBuffer buffer{backend, "buf1", Desc(TMMDSWaveMixer::Secondary3DFlags)};
    TMMDS3DBuffer sound;
};

} // namespace

TEST(DS3DVector, NotifiesOnlyOnChangeExceptForAnIndexOutOfRange)
{
    TMMVector3D vector;
    int told = 0;
    vector.SetOnChange([&] { ++told; });
    struct TStep {
        const char* Name;
        std::function<void()> Do;
        int Told;
        long double X, Y, Z;
    };
    const TStep steps[] = {
        {"X changes", [&] { vector.SetX(1); }, 1, 1, 0, 0},
        {"X again", [&] { vector.SetX(1); }, 1, 1, 0, 0},
        {"Z by index", [&] { vector.SetComponent(2, -4); }, 2, 1, 0, -4},
        {"index 3", [&] { vector.SetComponent(3, 9); }, 3, 1, 0, -4},
        {"index -1", [&] { vector.SetComponent(-1, 9); }, 4, 1, 0, -4},
        {"same vector", [&] { vector.Assign(TMMVector3D(1, 0, -4)); }, 4, 1, 0, -4},
        {"one component differs", [&] { vector.Assign(TMMVector3D(1, 2, -4)); }, 5, 1, 2, -4},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Name);
        step.Do();
        EXPECT_EQ(told, step.Told);
        EXPECT_EQ(vector.X(), step.X);
        EXPECT_EQ(vector.Y(), step.Y);
        EXPECT_EQ(vector.Z(), step.Z);
    }
    EXPECT_EQ(vector.Component(7), 0.0L);
}

TEST_F(DS3D, ValuesSetWhileDetachedAreKeptAndSentTogetherAtAttach)
{
    sound.Position().Assign(3, 0, -2);
    sound.SetMinDistance(5);
    sound.SetInsideConeAngle(90);
    sound.SetMode(TMMDS3DBufferMode::bmHeadRelative);
    EXPECT_EQ(sound.Position().X(), 3.0L);
    EXPECT_EQ(backend.Calls(), TCalls{});

    sound.Attach(&buffer);
    ASSERT_TRUE(sound.Attached());
    // Everything in one record; the commit reads nothing back.
    EXPECT_EQ(backend.Calls(), (TCalls{"buf1.GetCaps()", "buf1.Query3DBuffer()", "buf1.3d.SetAllParameters(3,0,-2,imm)"}));
    TDS3DBufferParams expected;
    expected.Position = {3, 0, -2};
    expected.MinDistance = 5;
    expected.InsideConeAngle = 90;
    expected.Mode = DS3DMODE_HEADRELATIVE;
    EXPECT_EQ(Platform().Params, expected);
}

TEST_F(DS3D, SettingAValueItAlreadyHasSendsNothing)
{
    sound.Attach(&buffer);
    sound.Position().SetX(2);
    sound.SetMaxDistance(500);
    backend.ClearCalls();
    sound.Position().SetX(2);
    sound.Position().Assign(2, 0, 0);
    sound.SetMaxDistance(500);
    sound.SetConeOutsideVolume(0);
    EXPECT_EQ(backend.Count("buf1.3d.Set"), 0u);
}

TEST_F(DS3D, ReadBackWhileAttachedCarriesSinglePrecision)
{
    sound.Position().SetX(0.1L);
    EXPECT_EQ(sound.Position().X(), 0.1L); // detached: the stored value
    sound.Attach(&buffer);
    const long double readBack = sound.Position().X();
    EXPECT_NE(readBack, 0.1L);
    EXPECT_EQ(readBack, static_cast<long double>(0.1f));
    EXPECT_NEAR(static_cast<double>(readBack), 0.100000001490116, 1e-15);
    // The platform's answer is what is kept, also once detached.
    sound.Detach();
    EXPECT_EQ(sound.Position().X(), readBack);
}

TEST_F(DS3D, EveryParameterGoesToItsOwnPlatformCall)
{
    sound.Attach(&buffer);
    backend.ClearCalls();
    sound.Position().SetY(1.5);
    sound.Velocity().SetX(-2);
    sound.ConeOrientation().SetZ(-1);
    sound.SetMinDistance(2);
    sound.SetMaxDistance(40);
    sound.SetMode(TMMDS3DBufferMode::bmNo3D);
    sound.SetInsideConeAngle(90);
    sound.SetOutsideConeAngle(-20); // degrees are kept within 0..360
    sound.SetOutsideConeAngle(400);
    sound.SetConeOutsideVolume(-600);
    const TCalls sent = backend.CallsOf("buf1.3d.Set");
    EXPECT_EQ(sent, (TCalls{"buf1.3d.SetPosition(0,1.5,0,imm)", "buf1.3d.SetVelocity(-2,0,0,imm)",
                            "buf1.3d.SetConeOrientation(0,0,-1,imm)", "buf1.3d.SetMinDistance(2,imm)",
                            "buf1.3d.SetMaxDistance(40,imm)", "buf1.3d.SetMode(2,imm)",
                            "buf1.3d.SetConeAngles(90,360,imm)", "buf1.3d.SetConeAngles(90,0,imm)",
                            "buf1.3d.SetConeAngles(90,360,imm)", "buf1.3d.SetConeOutsideVolume(-600,imm)"}));
    EXPECT_EQ(sound.OutsideConeAngle(), 360);
}

TEST_F(DS3D, NestedUpdatesCommitOnceAtTheOutermostEnd)
{
    sound.Attach(&buffer);
    backend.ClearCalls();
    sound.BeginUpdate();
    sound.BeginUpdate();
    sound.Position().Assign(1, 2, 3);
    sound.Velocity().SetZ(4);
    sound.SetMinDistance(3);
    sound.EndUpdate();
    EXPECT_EQ(backend.Count("buf1.3d.Set"), 0u);
    sound.EndUpdate();
    EXPECT_EQ(backend.CallsOf("buf1.3d.Set"), TCalls{"buf1.3d.SetAllParameters(1,2,3,imm)"});
    EXPECT_EQ(Platform().Params.Velocity, (TVector3{0, 0, 4}));
    EXPECT_EQ(Platform().Params.MinDistance, 3.0f);
    sound.EndUpdate(); // unbalanced: nothing to commit
    EXPECT_EQ(backend.Count("buf1.3d.Set"), 1u);
}

TEST_F(DS3D, DeferredSendsCarryTheDeferredFlagUntilTurnedOff)
{
    sound.Attach(&buffer);
    backend.ClearCalls();
    sound.SetDeferred(true);
    sound.Position().SetX(7);
    sound.SetDeferred(false);
    EXPECT_EQ(backend.CallsOf("buf1.3d.Set"),
              (TCalls{"buf1.3d.SetPosition(7,0,0,def)", "buf1.3d.SetAllParameters(7,0,0,imm)"}));
}

TEST_F(DS3D, AttachTakesAnInterfaceOnlyFromABufferWith3DControl)
{
    TScriptedBuffer flat(backend, "buf2", Desc(TMMDSWaveMixer::SecondaryFlags));
    sound.Attach(&flat);
    EXPECT_FALSE(sound.Attached());
    EXPECT_EQ(backend.Count("buf2.Query3DBuffer"), 0u);

    backend.Fail("buf1.GetCaps", DSERR_INVALIDCALL);
    EXPECT_THROW(sound.Attach(&buffer), EDirectSoundError);
    backend.Fail("buf1.Query3DBuffer", DSERR_NOAGGREGATION);
    try {
        sound.Attach(&buffer);
        FAIL() << "attached";
    } catch (const EDSMixError& e) {
        EXPECT_STREQ(e.what(), "Error obtaining 3D interface");
    }
    EXPECT_FALSE(sound.Attached());

    sound.Attach(&buffer);
    EXPECT_TRUE(sound.Attached());
    sound.Attach(nullptr);
    EXPECT_FALSE(sound.Attached());
}

TEST_F(DS3D, PlatformFailuresRaiseTheirCode)
{
    sound.Attach(&buffer);
    backend.Fail("SetPosition", DSERR_INVALIDPARAM);
    try {
        sound.Position().SetX(1);
        FAIL() << "sent";
    } catch (const EDirectSoundError& e) {
        EXPECT_EQ(e.Code(), DSERR_INVALIDPARAM);
        EXPECT_STREQ(e.what(), "Invalid parameter");
    }
    backend.Fail("GetAllParameters", DSERR_GENERIC);
    EXPECT_THROW(sound.MinDistance(), EDirectSoundError);
}

TEST_F(DS3D, ALoadedAllZeroConeOrientationPointsForward)
{
    sound.ConeOrientation().Assign(0, 0, 0);
    sound.Loaded();
    EXPECT_EQ(sound.ConeOrientation().Z(), 1.0L);
    sound.ConeOrientation().Assign(0, 0, -1);
    sound.Loaded();
    EXPECT_EQ(sound.ConeOrientation().Z(), -1.0L);
}

TEST(DS3DListener, OrientationsTravelTogetherAndFactorsAlone)
{
    TScriptedBackend backend;
    TScriptedDevice device(backend, "device");
    TScriptedPrimary primary(backend, 0x91);
    TMMDS3DListener listener;
    listener.Attach(&primary);
    EXPECT_EQ(backend.Listener()->Params, TDS3DListenerParams{});
    backend.ClearCalls();
    listener.OrientFront().SetZ(-1);
    listener.OrientTop().Assign(0, 0, 1);
    listener.Position().SetX(4);
    listener.SetRollOffFactor(2);
    listener.SetDopplerFactor(1); // unchanged
    EXPECT_EQ(backend.CallsOf("listener.Set"),
              (TCalls{"listener.SetOrientation(0,0,-1,0,1,0,imm)", "listener.SetOrientation(0,0,-1,0,0,1,imm)",
                      "listener.SetPosition(4,0,0,imm)", "listener.SetRolloffFactor(2,imm)"}));
    EXPECT_EQ(listener.RollOffFactor(), 2.0f);
    listener.Detach();

    listener.OrientFront().Assign(0, 0, 0);
    listener.OrientTop().Assign(0, 0, 0);
    listener.Loaded();
    EXPECT_EQ(listener.OrientFront().Z(), 1.0L);
    EXPECT_EQ(listener.OrientTop().Y(), 1.0L);

    TScriptedPrimary flat(backend, DSBCAPS_PRIMARYBUFFER);
    EXPECT_THROW(listener.Attach(&flat), EDSMixError);
    EXPECT_FALSE(listener.Attached());
}

namespace {

class DS3DChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        mixerOwner->SetUse3D(true);
        LoadWaveImage(channel.Wave(), PcmWaveImage(1, 8000, 8, 100));
    }
    void TearDown() override
    {
        channelOwner.reset();
        mixerOwner.reset();
        EXPECT_EQ(backend.Violations(), TCalls{});
    }

    TScriptedBackend backend;
    TVirtualClock clock;
    std::unique_ptr<TMMDSWaveMixer> mixerOwner = std::make_unique<TMMDSWaveMixer>(backend, clock);
    std::unique_ptr<TMMDSMixChannel> channelOwner = std::make_unique<TMMDSMixChannel>(mixerOwner.get());
    TMMDSWaveMixer& mixer = *mixerOwner;
    TMMDSMixChannel& channel = *channelOwner;
};

} // namespace

TEST_F(DS3DChannel, APositionSetBeforeTheFirstPlayIsSentWhenTheBufferIsBuilt)
{
    // The rows' channels: the run-time defaults.
    EXPECT_EQ(channel.Sound3D().MinDistance(), 1.0f);
    EXPECT_EQ(channel.Sound3D().MaxDistance(), 1000000000.0f);
    EXPECT_EQ(channel.Sound3D().ConeOrientation().Z(), 1.0L);
    channel.Sound3D().Position().Assign(3, 0, -2);
    EXPECT_EQ(backend.Count("buf1"), 0u);
    channel.Play();
    ASSERT_TRUE(channel.Sound3D().Attached());
    EXPECT_EQ(backend.CallsOf("buf1.3d.Set"), TCalls{"buf1.3d.SetAllParameters(3,0,-2,imm)"});
    EXPECT_EQ(backend.Buffer3D("buf1.3d")->Params.Position, (TVector3{3, 0, -2}));
    // Moving it while it plays goes straight to the platform.
    channel.Sound3D().Position().SetX(-3);
    EXPECT_EQ(backend.Buffer3D("buf1.3d")->Params.Position, (TVector3{-3, 0, -2}));
}

TEST_F(DS3DChannel, ReleasingTheBufferDetachesAndTheNextBuildAttachesAgain)
{
    channel.Play();
    LoadWaveImage(channel.Wave(), PcmWaveImage(1, 8000, 8, 50));
    EXPECT_FALSE(channel.Sound3D().Attached());
    channel.Sound3D().Position().SetZ(5);
    EXPECT_EQ(backend.Buffer3D("buf2.3d"), nullptr);
    channel.Play();
    ASSERT_NE(backend.Buffer3D("buf2.3d"), nullptr);
    EXPECT_EQ(backend.Buffer3D("buf2.3d")->Params.Position, (TVector3{0, 0, 5}));
}

TEST_F(DS3DChannel, ABufferThatYieldsNo3DInterfaceIsDroppedSoTheNextPlayRetries)
{
    backend.Fail("Query3DBuffer", DSERR_NOAGGREGATION);
    EXPECT_THROW(channel.Play(), EDSMixError);
    EXPECT_EQ(channel.SoundBuffer().PlatformBuffer(), nullptr);
    EXPECT_EQ(mixer.BufferCount(), 0u);
    channel.Play();
    EXPECT_TRUE(channel.Sound3D().Attached());
    EXPECT_TRUE(channel.IsPlaying());
}
