// The 3D wave mixer against a scripted device: device selection and
// opening with its fallbacks and failures, the properties that need a
// closed device, the primary format, buffer building and filling, the end
// poll and lost buffers.
#include "audio/ds_mixer.h"
#include "audio/mixer_errors.h"
#include "scripted_backend.h"
#include "sox_reference.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TCalls = std::vector<std::string>;

// A wave and the record a mixer builds from it.
struct TRecord {
    explicit TRecord(const TBytes& image = PcmWaveImage(1, 8000, 8, 100))
    {
        Wave.CreateMemoryStore();
        LoadWaveImage(Wave, image);
    }
    TMMWave Wave;
    TMMDSSoundBuffer Buffer;
};

std::vector<TSoundDeviceEntry> Devices(size_t count)
{
    std::vector<TSoundDeviceEntry> devices;
    for (size_t i = 0; i < count; ++i)
        devices.push_back({i == 0 ? std::nullopt : std::optional(std::array<uint8_t, 16>{uint8_t(i)}),
                           "device " + std::to_string(i), "module"});
    return devices;
}

class DSMixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        mixer = std::make_unique<TMMDSWaveMixer>(backend, clock);
        backend.ClearCalls();
    }
    void TearDown() override
    {
        mixer.reset();
        EXPECT_EQ(backend.Violations(), TCalls{});
    }
    TScriptedBuffer& Platform(TRecord& record) { return *static_cast<TScriptedBuffer*>(record.Buffer.PlatformBuffer()); }

    TScriptedBackend backend;
    TVirtualClock clock;
    std::unique_ptr<TMMDSWaveMixer> mixer;
};

} // namespace

TEST_F(DSMixer, StartsWithItsDefaultsAfterReadingDevice0sCapabilities)
{
    EXPECT_EQ(mixer->Level(), TMMDSLevel::prPriority);
    EXPECT_EQ(mixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scStereo);
    EXPECT_EQ(mixer->BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(mixer->SampleRate(), 11025);
    EXPECT_EQ(mixer->Mode(), TMMMode::mMono);
    EXPECT_FALSE(mixer->Use3D());
    EXPECT_EQ(mixer->DeviceID(), 0);
    EXPECT_EQ(mixer->ProductName(), "Primary Sound Driver");
    EXPECT_EQ(mixer->SoundCaps().Record().MaxHw3DAllBuffers, 32u);
    // The read opened the device and closed it again.
    EXPECT_EQ(backend.DevicesCreated(), 1);
    EXPECT_FALSE(mixer->IsOpen());
    EXPECT_EQ(backend.Device(), nullptr);
}

namespace {
struct TSelection {
    size_t Devices;
    int Id;
    int ExpectedId;
    const char* ExpectedName;
};
} // namespace

TEST(DSMixerDevices, SelectionTakesOnlyAnIndexOfAListOfTwoOrMore)
{
    const TSelection cases[] = {
        {2, 0, 0, "device 0"},
        {3, 2, 2, "device 2"},
        {3, 3, TMMDSWaveMixer::NoDevice, "No DirectSound playing devices found"},
        {3, -1, TMMDSWaveMixer::NoDevice, "No DirectSound playing devices found"},
        {1, 0, TMMDSWaveMixer::NoDevice, "No DirectSound playing devices found"},
        {0, 0, TMMDSWaveMixer::NoDevice, "No DirectSound playing devices found"},
    };
    for (const TSelection& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Devices << " devices, id " << c.Id);
        TScriptedBackend backend(Devices(c.Devices));
        TVirtualClock clock;
        TMMDSWaveMixer mixer(backend, clock);
        const int opened = backend.DevicesCreated();
        mixer.SetDeviceID(c.Id);
        EXPECT_EQ(mixer.DeviceID(), c.ExpectedId);
        EXPECT_EQ(mixer.ProductName(), c.ExpectedName);
        // Only a valid selection opens the device to read its capabilities.
        EXPECT_EQ(backend.DevicesCreated() - opened, c.ExpectedId >= 0 ? 1 : 0);
        if (c.ExpectedId >= 0) {
            EXPECT_EQ(backend.CallsOf("CreateDevice").back(), "CreateDevice(" + std::string(c.ExpectedName) + ")");
        }
    }
}

TEST(DSMixerDevices, OpenRefusesWithoutADeviceOrWithAnInvalidOne)
{
    TVirtualClock clock;
    TScriptedBackend lonely(Devices(1));
    TMMDSWaveMixer none(lonely, clock);
    EXPECT_THROW(
        {
            try {
                none.OpenDevice();
            } catch (const EMMDSWaveMixError& e) {
                EXPECT_STREQ(e.what(), "No DirectSound playing devices found");
                throw;
            }
        },
        EMMDSWaveMixError);

    TScriptedBackend backend;
    TMMDSWaveMixer invalid(backend, clock);
    invalid.SetDeviceID(7);
    EXPECT_THROW(
        {
            try {
                invalid.OpenDevice();
            } catch (const EMMDSWaveMixError& e) {
                EXPECT_STREQ(e.what(), "Invalid DeviceID");
                throw;
            }
        },
        EMMDSWaveMixError);
    EXPECT_EQ(backend.DevicesCreated(), 1); // the capability read at creation only
}

TEST(DSMixerDevices, AMixerCannotBeMadeWhenItsDeviceCannotBeOpened)
{
    TScriptedBackend backend;
    TVirtualClock clock;
    backend.Fail("CreateDevice", DSERR_NODRIVER);
    try {
        TMMDSWaveMixer mixer(backend, clock);
        FAIL() << "made";
    } catch (const EDirectSoundError& e) {
        EXPECT_EQ(e.Code(), DSERR_NODRIVER);
        EXPECT_STREQ(e.what(), "No driver");
    }
}

namespace {
struct TOpening {
    const char* Name;
    TMMDSLevel Level;
    bool Use3D;
    TCalls Expected;
};
class DSMixerOpen : public DSMixer, public ::testing::WithParamInterface<TOpening> {};
} // namespace

TEST_P(DSMixerOpen, RunsItsStepsInOrderOnce)
{
    mixer->SetLevel(GetParam().Level);
    mixer->SetUse3D(GetParam().Use3D);
    mixer->OpenDevice();
    EXPECT_EQ(backend.Calls(), GetParam().Expected);
    EXPECT_TRUE(backend.Primary()->Playing);
    backend.ClearCalls();
    mixer->OpenDevice();
    EXPECT_EQ(backend.Calls(), TCalls{});
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DSMixerOpen,
    ::testing::Values(
        TOpening{"Priority",
                 TMMDSLevel::prPriority,
                 false,
                 {"CreateDevice(Primary Sound Driver)", "SetCooperativeLevel(2)", "CreatePrimaryBuffer(0xc1)",
                  "primary.SetFormat(1,11025,8,1,11025)", "SetSpeakerConfig(4)", "primary.Play(loop)"}},
        // The main window's level: the device keeps its own format.
        TOpening{"Normal",
                 TMMDSLevel::prNormal,
                 false,
                 {"CreateDevice(Primary Sound Driver)", "SetCooperativeLevel(1)", "CreatePrimaryBuffer(0xc1)",
                  "SetSpeakerConfig(4)", "primary.Play(loop)"}},
        TOpening{"Exclusive3D",
                 TMMDSLevel::prExclusive,
                 true,
                 {"CreateDevice(Primary Sound Driver)", "SetCooperativeLevel(3)", "CreatePrimaryBuffer(0x91)",
                  "primary.QueryListener()", "listener.SetAllParameters(0,0,1,imm)",
                  "primary.SetFormat(1,11025,8,1,11025)", "SetSpeakerConfig(4)", "primary.Play(loop)"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST_F(DSMixer, PrimaryBufferWithoutControlsIsAskedForWhenControlsAreUnavailable)
{
    backend.Fail("CreatePrimaryBuffer", DSERR_CONTROLUNAVAIL);
    mixer->OpenDevice();
    EXPECT_EQ(backend.CallsOf("CreatePrimaryBuffer"), (TCalls{"CreatePrimaryBuffer(0xc1)", "CreatePrimaryBuffer(0x1)"}));
    EXPECT_TRUE(mixer->IsOpen());
}

namespace {
enum class TKind { DirectSound, Mix, WaveMix };
struct TOpenFailure {
    const char* Call;
    TDSResult Code;
    int Times;
    bool Use3D;
    TKind Kind;
    const char* Message;
};
} // namespace

TEST_F(DSMixer, AFailedOpenRaisesAndLeavesTheMixerClosed)
{
    const TOpenFailure cases[] = {
        {"CreateDevice", DSERR_NODRIVER, 1, false, TKind::DirectSound, "No driver"},
        {"CreateDevice", 0x12345678, 1, false, TKind::DirectSound, "Unknown error code"},
        {"SetCooperativeLevel", DSERR_PRIOLEVELNEEDED, 1, false, TKind::DirectSound, "Priority not enough for success"},
        {"CreatePrimaryBuffer", DSERR_ALLOCATED, 1, false, TKind::DirectSound,
         "Another caller already allocated resources"},
        {"CreatePrimaryBuffer", DSERR_CONTROLUNAVAIL, 2, false, TKind::DirectSound, "Requested control unavailable"},
        {"CreatePrimaryBuffer", DSERR_CONTROLUNAVAIL, 1, true, TKind::Mix, "3D sound not available"},
        {"QueryListener", DSERR_NOAGGREGATION, 1, true, TKind::Mix, "Error obtaining 3D interface"},
        {"listener.SetAllParameters", DSERR_INVALIDPARAM, 1, true, TKind::DirectSound, "Invalid parameter"},
        {"SetFormat", DSERR_BADFORMAT, 1, false, TKind::WaveMix, "DirectSound PrimaryBuffer SetFormat failed"},
    };
    for (const TOpenFailure& c : cases) {
        SCOPED_TRACE(c.Call + std::string(" ") + c.Message);
        mixer->SetUse3D(c.Use3D);
        backend.Fail(c.Call, c.Code, c.Times);
        try {
            mixer->OpenDevice();
            ADD_FAILURE() << "opened";
        } catch (const EAmbitoneError& e) {
            EXPECT_STREQ(e.what(), c.Message);
            auto* ds = dynamic_cast<const EDirectSoundError*>(&e);
            EXPECT_EQ(ds != nullptr, c.Kind == TKind::DirectSound);
            if (ds) {
                EXPECT_EQ(ds->Code(), c.Code);
            }
            EXPECT_EQ(dynamic_cast<const EDSMixError*>(&e) != nullptr, c.Kind == TKind::Mix);
            EXPECT_EQ(dynamic_cast<const EMMDSWaveMixError*>(&e) != nullptr, c.Kind == TKind::WaveMix);
        }
        backend.Heal(c.Call);
        EXPECT_FALSE(mixer->IsOpen());
        EXPECT_EQ(backend.Device(), nullptr);
        // Nothing is left half open: the next attempt succeeds.
        mixer->OpenDevice();
        EXPECT_TRUE(mixer->IsOpen());
        mixer->CloseDevice();
    }
}

TEST_F(DSMixer, LevelDeviceAnd3DCannotChangeWhileOpen)
{
    const std::vector<std::pair<const char*, std::function<void()>>> setters = {
        {"Level", [&] { mixer->SetLevel(TMMDSLevel::prExclusive); }},
        {"DeviceID", [&] { mixer->SetDeviceID(1); }},
        {"Use3D", [&] { mixer->SetUse3D(true); }},
    };
    mixer->OpenDevice();
    for (const auto& [name, set] : setters) {
        SCOPED_TRACE(name);
        try {
            set();
            ADD_FAILURE() << "changed";
        } catch (const EMMDSWaveMixError& e) {
            EXPECT_STREQ(e.what(), "Change to property while device was open");
        }
    }
    EXPECT_EQ(mixer->Level(), TMMDSLevel::prPriority);
    EXPECT_EQ(mixer->DeviceID(), 0);
    EXPECT_FALSE(mixer->Use3D());
    mixer->CloseDevice();
    for (const auto& [name, set] : setters)
        set();
    EXPECT_EQ(mixer->Level(), TMMDSLevel::prExclusive);
    EXPECT_EQ(mixer->DeviceID(), 1);
    EXPECT_EQ(mixer->ProductName(), "Scripted Output");
    EXPECT_TRUE(mixer->Use3D());
}

TEST_F(DSMixer, SpeakerConfigurationReachesOnlyAnOpenDevice)
{
    const std::pair<TMMDSSpeakerConfig, const char*> cases[] = {
        {TMMDSSpeakerConfig::scQuad, "SetSpeakerConfig(3)"},
        {TMMDSSpeakerConfig::scHeadphone, "SetSpeakerConfig(1)"},
        {TMMDSSpeakerConfig::scSurround, "SetSpeakerConfig(5)"},
    };
    for (const auto& [config, sent] : cases) {
        SCOPED_TRACE(sent);
        mixer->SetSpeakerConfiguration(config);
        EXPECT_EQ(backend.Calls(), TCalls{});
        mixer->OpenDevice();
        EXPECT_EQ(backend.CallsOf("SetSpeakerConfig"), TCalls{sent});
        mixer->SetSpeakerConfiguration(TMMDSSpeakerConfig::scMono);
        mixer->SetSpeakerConfiguration(config);
        EXPECT_EQ(backend.CallsOf("SetSpeakerConfig"), (TCalls{sent, "SetSpeakerConfig(2)", sent}));
        mixer->CloseDevice();
        backend.ClearCalls();
    }
}

TEST_F(DSMixer, SpeakerConfigurationReadsTheLowByteOfAnOpenDevice)
{
    mixer->SetSpeakerConfiguration(TMMDSSpeakerConfig::scMono);
    mixer->OpenDevice();
    backend.Device()->SpeakerConfig = 0x00050003; // geometry in the high bytes
    EXPECT_EQ(mixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scQuad);
    backend.Device()->SpeakerConfig = 0; // not one of the five
    EXPECT_EQ(mixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scMono);
    mixer->CloseDevice();
    EXPECT_EQ(mixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scMono);
}

TEST_F(DSMixer, SampleRateStaysWithin8000And100000)
{
    const std::pair<int32_t, int32_t> cases[] = {
        {4000, 8000}, {-1, 8000}, {8000, 8000}, {44100, 44100}, {100000, 100000}, {200000, 100000}};
    for (const auto& [set, stored] : cases) {
        mixer->SetSampleRate(set);
        EXPECT_EQ(mixer->SampleRate(), stored) << set;
    }
}

TEST_F(DSMixer, PrimaryFormatFollowsBitLengthModeAndRateAbovePrNormal)
{
    mixer->OpenDevice();
    backend.ClearCalls();
    mixer->SetMode(TMMMode::mMultiChannel);
    mixer->SetBitLength(TMMBits::b16Bit);
    mixer->SetSampleRate(44100);
    EXPECT_EQ(backend.CallsOf("primary.SetFormat").back(), "primary.SetFormat(3,44100,16,6,264600)");
    mixer->CloseDevice();

    mixer->SetLevel(TMMDSLevel::prNormal);
    mixer->OpenDevice();
    backend.ClearCalls();
    mixer->SetSampleRate(22050);
    EXPECT_EQ(backend.Count("primary.SetFormat"), 0u);
}

TEST_F(DSMixer, BufferNamesAreUniqueInTheList)
{
    TRecord a, b, c, d, e;
    mixer->AddBuffer("", a.Wave, a.Buffer);
    mixer->AddBuffer("", b.Wave, b.Buffer);
    mixer->AddBuffer("", c.Wave, c.Buffer);
    EXPECT_EQ(a.Buffer.Name(), "1");
    EXPECT_EQ(b.Buffer.Name(), "2");
    EXPECT_EQ(c.Buffer.Name(), "3");
    mixer->RemoveBuffer(&b.Buffer);
    EXPECT_EQ(mixer->UniqueBufferName(""), "2");
    mixer->AddBuffer("x", d.Wave, d.Buffer);
    mixer->AddBuffer("x", e.Wave, e.Buffer);
    EXPECT_EQ(d.Buffer.Name(), "x");
    EXPECT_EQ(e.Buffer.Name(), "x1");
    // Exact comparison: "1" is taken, so "1" becomes "11".
    EXPECT_EQ(mixer->UniqueBufferName("1"), "11");
}

namespace {
struct TBuild {
    const char* Name;
    bool Use3D;
    int Refusals;
    TCalls Requests;
    const char* Error; // nullptr: built
};
} // namespace

TEST_F(DSMixer, SecondaryBufferRequestsAndTheirFallback)
{
    const TBuild cases[] = {
        {"plain", false, 0, {"CreateSoundBuffer(0x1c0e2,100)"}, nullptr},
        {"retried", false, 1, {"CreateSoundBuffer(0x1c0e2,100)", "CreateSoundBuffer(0xe2,100)"}, nullptr},
        {"refused", false, 2, {"CreateSoundBuffer(0x1c0e2,100)", "CreateSoundBuffer(0xe2,100)"}, "Out of memory"},
        {"3D", true, 0, {"CreateSoundBuffer(0x1c0b2,100)"}, nullptr},
        {"3D refused", true, 1, {"CreateSoundBuffer(0x1c0b2,100)"}, "3D sound not available"},
    };
    for (const TBuild& c : cases) {
        SCOPED_TRACE(c.Name);
        mixer->SetUse3D(c.Use3D);
        mixer->OpenDevice();
        backend.ClearCalls();
        if (c.Refusals)
            backend.Fail("CreateSoundBuffer", DSERR_OUTOFMEMORY, c.Refusals);
        TRecord record;
        try {
            mixer->AddBuffer("", record.Wave, record.Buffer);
            EXPECT_EQ(c.Error, nullptr);
        } catch (const EAmbitoneError& e) {
            ASSERT_NE(c.Error, nullptr) << e.what();
            EXPECT_STREQ(e.what(), c.Error);
            EXPECT_EQ(dynamic_cast<const EDSMixError*>(&e) != nullptr, c.Use3D);
        }
        EXPECT_EQ(backend.CallsOf("CreateSoundBuffer"), c.Requests);
        EXPECT_EQ(record.Buffer.PlatformBuffer() != nullptr, c.Error == nullptr);
        EXPECT_EQ(mixer->BufferCount(), c.Error ? 0u : 1u);
        mixer->CloseDevice();
    }
}

TEST_F(DSMixer, ANewBufferGetsTheStoredSettingsAndTheWholeSample)
{
    for (bool muted : {false, true}) {
        SCOPED_TRACE(muted ? "muted" : "audible");
        TRecord record(PcmWaveImage(2, 22050, 16, 60));
        record.Buffer.SetVolume(-500);
        record.Buffer.SetPanning(300);
        record.Buffer.SetFrequency(44100);
        record.Buffer.SetMuted(muted);
        mixer->AddBuffer("", record.Wave, record.Buffer);
        TScriptedBuffer& platform = Platform(record);
        EXPECT_EQ(platform.Volume, muted ? -10000 : -500);
        EXPECT_EQ(platform.Pan, 300);
        EXPECT_EQ(platform.Frequency, 44100u);
        EXPECT_EQ(platform.Desc().Format, record.Wave.WaveInfo()->Format);
        const uint8_t* data = record.Wave.SampleData();
        EXPECT_EQ(platform.Data(), TBytes(data, data + record.Wave.DataBytes()));
        EXPECT_EQ(backend.Count(platform.Name() + ".Unlock"), 1u);
    }
}

TEST_F(DSMixer, BufferMemoryBeyondTheSampleIsSilence)
{
    backend.ExtraBufferBytes = 6;
    const std::pair<uint16_t, uint8_t> cases[] = {{8, 0x80}, {16, 0x00}};
    for (const auto& [bits, silence] : cases) {
        SCOPED_TRACE(bits);
        TRecord record(PcmWaveImage(1, 8000, bits, 10));
        mixer->AddBuffer("", record.Wave, record.Buffer);
        const TBytes& data = Platform(record).Data();
        ASSERT_EQ(data.size(), record.Wave.DataBytes() + 6u);
        EXPECT_EQ(TBytes(data.begin() + record.Wave.DataBytes(), data.end()), TBytes(6, silence));
    }
}

TEST_F(DSMixer, AnAdpcmSampleIsHeldAsSixteenBitPcm)
{
    const TWaveFormat adpcm = MsAdpcmRecord(1, 32);
    TRecord record(TRiffBuilder().Chunk("fmt ", MsAdpcmRecordBytes(1, 32)).Data(AdpcmBlocks(adpcm, 4)).Build());
    mixer->AddBuffer("", record.Wave, record.Buffer);
    TScriptedBuffer& platform = Platform(record);
    EXPECT_EQ(platform.Desc().Format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(platform.Desc().Format->wBitsPerSample, 16);
    EXPECT_EQ(platform.Desc().BufferBytes, 4u * 32 * 2);
    const TPcmBufferPlan plan = PlanPcmBuffer(record.Wave);
    TBytes decoded(plan.Bytes);
    decoded.resize(FillPcmBuffer(record.Wave, plan, decoded.data(), plan.Bytes));
    ASSERT_EQ(decoded.size(), plan.Bytes);
    EXPECT_EQ(platform.Data(), decoded);
}

TEST_F(DSMixer, ARefusedLockReleasesTheBuffer)
{
    TRecord record;
    int released = 0;
    record.Buffer.SetOnRelease([&] { ++released; });
    backend.Fail("Lock", DSERR_INVALIDCALL);
    // Building absorbs it: the record simply has no buffer.
    EXPECT_NO_THROW(mixer->AddBuffer("", record.Wave, record.Buffer));
    EXPECT_EQ(record.Buffer.PlatformBuffer(), nullptr);
    EXPECT_EQ(mixer->BufferCount(), 0u);
    EXPECT_TRUE(backend.Buffers().empty());
    EXPECT_EQ(backend.Count("buf1.Unlock"), 0u);
    EXPECT_EQ(released, 1);

    // A fill of its own raises.
    mixer->AddBuffer("", record.Wave, record.Buffer);
    ASSERT_NE(record.Buffer.PlatformBuffer(), nullptr);
    backend.Fail("Lock", DSERR_INVALIDCALL);
    try {
        mixer->FillBuffer(record.Buffer);
        FAIL() << "filled";
    } catch (const EMMDSWaveMixError& e) {
        EXPECT_STREQ(e.what(), "DirectSoundBuffer Lock failed");
    }
    EXPECT_EQ(record.Buffer.PlatformBuffer(), nullptr);
}

TEST_F(DSMixer, EndPollRunsOnlyWhileAPlayIsUnseenToEndAndReportsInListOrder)
{
    TRecord a, b;
    TCalls log;
    mixer->SetOnBufferEnd([&](TMMDSWaveMixer&, TMMDSSoundBuffer& buffer) { log.push_back("mixer " + buffer.Name()); });
    for (TRecord* r : {&a, &b}) {
        r->Buffer.SetOnEnd([&log, r](TMMDSPlayEnd reason) {
            log.push_back("record " + r->Buffer.Name() + (reason == TMMDSPlayEnd::peFinished ? " finished" : " stopped"));
        });
        mixer->AddBuffer("", r->Wave, r->Buffer);
    }
    EXPECT_EQ(clock.TimerCount(), 0u);
    mixer->PlayBuffer(&b.Buffer);
    mixer->PlayBuffer(&a.Buffer);
    EXPECT_EQ(mixer->ActivePlays(), 2);
    EXPECT_EQ(clock.TimerCount(), 1u);

    Platform(b).Finish();
    Platform(a).Finish();
    clock.Advance(49);
    EXPECT_EQ(log, TCalls{});
    clock.Advance(1);
    EXPECT_EQ(log, (TCalls{"mixer 1", "record 1 finished", "mixer 2", "record 2 finished"}));
    EXPECT_EQ(mixer->ActivePlays(), 0);
    EXPECT_EQ(clock.TimerCount(), 0u);
    clock.Advance(500);
    EXPECT_EQ(log.size(), 4u);
}

namespace {
class TRefusingClock : public TVirtualClock {
public:
    TTimerId StartTimerOn(TTimerThread, int, std::function<void()>) override { return 0; }
};
} // namespace

TEST(DSMixerPoll, ARefusedTimerRaisesAndStartsNothing)
{
    TScriptedBackend backend;
    TRefusingClock clock;
    TMMDSWaveMixer mixer(backend, clock);
    TRecord record;
    mixer.AddBuffer("", record.Wave, record.Buffer);
    try {
        mixer.PlayBuffer(&record.Buffer);
        FAIL() << "played";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Not enough timers available");
    }
    EXPECT_EQ(mixer.ActivePlays(), 0);
    EXPECT_FALSE(record.Buffer.Playing());
    EXPECT_FALSE(record.Buffer.IsPlaying());
}

TEST_F(DSMixer, ALostBufferIsRestoredAndWrittenAgainBeforeItPlays)
{
    TRecord record;
    mixer->AddBuffer("", record.Wave, record.Buffer);
    TMMDSSoundBuffer* lost = nullptr;
    mixer->SetOnBufferLost([&](TMMDSWaveMixer&, TMMDSSoundBuffer& buffer, bool& abort) {
        lost = &buffer;
        abort = true; // changes nothing
    });
    TScriptedBuffer& platform = Platform(record);
    platform.Lose();
    mixer->PlayBuffer(&record.Buffer);
    EXPECT_EQ(lost, &record.Buffer);
    EXPECT_FALSE(platform.Lost);
    const uint8_t* data = record.Wave.SampleData();
    EXPECT_EQ(platform.Data(), TBytes(data, data + record.Wave.DataBytes()));
    EXPECT_TRUE(platform.Playing);
    EXPECT_EQ(mixer->ActivePlays(), 1);

    mixer->StopBuffer(&record.Buffer);
    platform.Lose();
    backend.Fail("Restore", DSERR_BUFFERLOST);
    try {
        mixer->PlayBuffer(&record.Buffer);
        FAIL() << "played";
    } catch (const EMMDSWaveMixError& e) {
        EXPECT_STREQ(e.what(), "DirectSoundBuffer restore failed");
    }
    EXPECT_EQ(mixer->ActivePlays(), 0);
}

TEST_F(DSMixer, GoingAwayReportsNothingAndReleasesEveryBuffer)
{
    TRecord record;
    int reports = 0;
    mixer->SetOnBufferEnd([&](TMMDSWaveMixer&, TMMDSSoundBuffer&) { ++reports; });
    record.Buffer.SetOnEnd([&](TMMDSPlayEnd) { ++reports; });
    int released = 0;
    record.Buffer.SetOnRelease([&] { ++released; });
    mixer->AddBuffer("", record.Wave, record.Buffer);
    mixer->PlayBuffer(&record.Buffer);
    mixer.reset();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(record.Buffer.PlatformBuffer(), nullptr);
    EXPECT_EQ(record.Buffer.Mixer(), nullptr);
    EXPECT_EQ(clock.TimerCount(), 0u);
}
