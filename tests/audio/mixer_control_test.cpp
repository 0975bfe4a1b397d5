// The mixer device, line and control: which lookups run after which fail,
// and what the objects keep (the slider tests cover values and errors).
// Also that the ALSA back end is quiet and harmless where there is no card.
#include "audio/backends/alsa_mixer.h"
#include "audio/mixer_control.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

// One device with at most one line and one control, answering as told.
class TFakeMixerBackend : public IMixerBackend {
public:
    int Devices = 1;
    bool Selectable = true;
    std::optional<TMMLineInfo> Line =
        TMMLineInfo{7, TMMComponentType::ctSrcWaveOut, {TMMLineFlag::lfSource}, 2, 0, 1, "Master", "Master"};
    std::optional<TMMControlInfo> Control =
        TMMControlInfo{3, TMMControlType::ctVolume, {}, 0, "Master", "Master Playback Volume", 0, 65535, 0};
    int LineLookups = 0;
    int ControlLookups = 0;
    int Writes = 0;

    int DeviceCount() override { return Devices; }
    bool SelectDevice(int) override { return Selectable; }
    std::optional<TMMLineInfo> FindLine(int, TMMComponentType) override
    {
        ++LineLookups;
        return Line;
    }
    std::optional<TMMControlInfo> FindControl(int, int lineId, TMMControlType) override
    {
        ++ControlLookups;
        return lineId == 7 ? Control : std::nullopt;
    }
    int GetValue(int, int, int, int, int32_t& value) override
    {
        value = 1;
        return 0;
    }
    int SetValue(int, int, int, int, int32_t) override
    {
        ++Writes;
        return 0;
    }
    std::string ErrorText(int) override { return {}; }
};

struct TChain {
    explicit TChain(std::unique_ptr<TFakeMixerBackend> fake = std::make_unique<TFakeMixerBackend>())
        : Fake(fake.get()), Device(std::move(fake)), Line(&Device), Control(&Line)
    {
    }
    TFakeMixerBackend* Fake;
    TMMMixerDevice Device;
    TMMAudioLine Line;
    TMMMixerControl Control;
};

struct TLookupCase {
    const char* Name;
    int Devices;
    bool Selectable, HasLine, HasControl;
    int Device, Line, Control; // the ids expected
    int LineLookups, ControlLookups;
};

class MixerLookup : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(MixerLookup, EachLevelFailsWithTheOneAbove)
{
    const TLookupCase& c = GetParam();
    auto fake = std::make_unique<TFakeMixerBackend>();
    fake->Devices = c.Devices;
    fake->Selectable = c.Selectable;
    if (!c.HasLine)
        fake->Line.reset();
    if (!c.HasControl)
        fake->Control.reset();
    TChain chain(std::move(fake));

    EXPECT_EQ(chain.Device.DeviceId(), c.Device);
    EXPECT_EQ(chain.Line.Info().LineId, c.Line);
    EXPECT_EQ(chain.Control.Info().ControlId, c.Control);
    EXPECT_EQ(chain.Fake->LineLookups, c.LineLookups);
    EXPECT_EQ(chain.Fake->ControlLookups, c.ControlLookups);
    if (c.Control < 0) {
        EXPECT_EQ(chain.Control.Info().Maximum, 0);
        EXPECT_THROW(chain.Control.SetValue(1), EMMMCIError);
        EXPECT_EQ(chain.Fake->Writes, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Mixer, MixerLookup,
                         ::testing::Values(TLookupCase{"NoDevice", 0, true, true, true, -1, -1, -1, 0, 0},
                                           TLookupCase{"NotSelectable", 1, false, true, true, -1, -1, -1, 0, 0},
                                           TLookupCase{"NoLine", 1, true, false, true, 0, -1, -1, 1, 0},
                                           TLookupCase{"NoControl", 1, true, true, false, 0, 7, -1, 1, 1},
                                           TLookupCase{"All", 1, true, true, true, 0, 7, 3, 1, 1}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(MixerLookupInfo, NamesAreCutToWholeCharacters)
{
    auto fake = std::make_unique<TFakeMixerBackend>();
    fake->Line->Name = std::string(70, 'n');
    // The 16th character takes two bytes; the cut keeps both.
    fake->Control->ShortName = std::string(15, 'a') + "\xC3\xA4" + "x";
    TChain chain(std::move(fake));
    EXPECT_EQ(chain.Line.Info().Name, std::string(64, 'n'));
    EXPECT_EQ(chain.Control.Info().ShortName, std::string(15, 'a') + "\xC3\xA4");
}

TEST(MixerLookupInfo, LookingUpAgainForgetsWhatIsGone)
{
    TChain chain;
    ASSERT_TRUE(chain.Control.Found());
    chain.Fake->Devices = 0;
    chain.Device.Lookup();
    chain.Line.Lookup();
    chain.Control.Lookup();
    EXPECT_EQ(chain.Line.Info().LineId, -1);
    EXPECT_EQ(chain.Line.Info().Name, "");
    EXPECT_EQ(chain.Control.Info().ControlId, -1);
}

TEST(MixerLookupInfo, AControlWhoseLineWasLostRaisesInsteadOfCallingThrough)
{
    TChain chain;
    chain.Line.SetMixer(nullptr);
    EXPECT_THROW(chain.Control.SetValue(1), EMMMCIError);
    EXPECT_EQ(chain.Fake->Writes, 0);
}

TEST(MixerAlsaBackend, LooksUpQuietlyWithOrWithoutACard)
{
    ::testing::internal::CaptureStderr();
    std::unique_ptr<TMMMixerDevice> device;
    ASSERT_NO_THROW(device = std::make_unique<TMMMixerDevice>(CreateAlsaMixerBackend()));
    TMMAudioLine line(device.get());
    const TMMMixerControl control(&line);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    if (!device->Valid()) {
        EXPECT_FALSE(control.Found());
    }
    if (control.Found()) {
        const int64_t span = int64_t{control.Info().Maximum} - control.Info().Minimum;
        EXPECT_GE(span, 0);
        EXPECT_EQ(control.Info().Steps, span <= 100 ? span : 0);
    }
}

TEST(MixerAlsaBackend, ErrorTextIsAlsasOrNone)
{
    const std::unique_ptr<IMixerBackend> backend = CreateAlsaMixerBackend();
    EXPECT_EQ(backend->ErrorText(-ENODEV), std::strerror(ENODEV));
    EXPECT_EQ(backend->ErrorText(-987654), "");
}

} // namespace
