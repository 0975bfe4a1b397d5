// The volume slider over a scripted mixer: how a control's range maps onto
// slider steps and back (halves going to even), when the slider gives up and
// sits disabled in the middle, and what reaches the user on errors.
#include "ui/widgets/mixer_slider.h"
#include "audio/backends/alsa_mixer.h"
#include "audio/mixer_control.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>

namespace {

// One device and wave-output line, and a control with chosen numbers whose
// reads are counted and last write recorded.
class TFakeMixerBackend : public IMixerBackend {
public:
    int Devices = 1;
    bool HasLine = true;
    std::optional<TMMControlInfo> Control = TMMControlInfo{0, TMMControlType::ctVolume, {}, 0, "", "", 0, 65535, 0};
    int32_t Value = 0;
    int ReadError = 0;
    int WriteError = 0;
    std::string Text;
    int Reads = 0;
    std::optional<int32_t> LastWrite;
    int LastChannel = -99;
    int LastItem = -99;

    int DeviceCount() override { return Devices; }
    bool SelectDevice(int) override { return true; }
    std::optional<TMMLineInfo> FindLine(int, TMMComponentType type) override
    {
        return HasLine ? std::optional(TMMLineInfo{0, type, {}, 2, 0, 1, "", ""}) : std::nullopt;
    }
    std::optional<TMMControlInfo> FindControl(int, int, TMMControlType type) override
    {
        return Control && Control->ControlType == type ? Control : std::nullopt;
    }
    int GetValue(int, int, int channel, int item, int32_t& value) override
    {
        ++Reads;
        LastChannel = channel;
        LastItem = item;
        value = Value;
        return ReadError;
    }
    int SetValue(int, int, int channel, int item, int32_t value) override
    {
        LastChannel = channel;
        LastItem = item;
        if (!WriteError)
            LastWrite = value;
        return WriteError;
    }
    std::string ErrorText(int) override { return Text; }
};

using TPrepare = std::function<void(TFakeMixerBackend&)>;

std::unique_ptr<IMixerBackend> Prepared(const TPrepare& prepare, TFakeMixerBackend*& fake)
{
    auto backend = std::make_unique<TFakeMixerBackend>();
    if (prepare)
        prepare(*backend);
    fake = backend.get();
    return backend;
}

// The main window's chain: device, wave-output line, volume control, slider.
struct TChain {
    explicit TChain(const TPrepare& prepare = {}) : Device(Prepared(prepare, Fake)), Line(&Device), Control(&Line) {}
    TFakeMixerBackend* Fake = nullptr; // set while Device is made
    TMMMixerDevice Device;
    TMMAudioLine Line;
    TMMMixerControl Control;
    TMMMixerSlider Slider;
};

void ExpectUnavailable(const TMMMixerSlider& slider)
{
    EXPECT_FALSE(slider.isEnabled());
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 2);
    EXPECT_EQ(slider.value(), 1);
}

TPrepare Range(int32_t minimum, int32_t maximum, int steps, int32_t value)
{
    return [=](TFakeMixerBackend& f) {
        f.Control->Minimum = minimum;
        f.Control->Maximum = maximum;
        f.Control->Steps = steps;
        f.Value = value;
    };
}

struct TMappingCase {
    const char* Name;
    int32_t Minimum, Maximum;
    int Steps;
    int32_t Value;
    int Top, Position;
};

class MixerSliderMapping : public ::testing::TestWithParam<TMappingCase> {};

TEST_P(MixerSliderMapping, ShowsTheValueOnTheControlsSteps)
{
    const TMappingCase& c = GetParam();
    TChain chain(Range(c.Minimum, c.Maximum, c.Steps, c.Value));
    chain.Slider.SetControl(&chain.Control);
    EXPECT_TRUE(chain.Slider.isEnabled());
    EXPECT_EQ(chain.Slider.maximum(), c.Top);
    EXPECT_EQ(chain.Slider.value(), c.Position);
    EXPECT_FALSE(chain.Fake->LastWrite); // showing a value is not a move
}

INSTANTIATE_TEST_SUITE_P(MixerSlider, MixerSliderMapping,
                         ::testing::Values(TMappingCase{"NoStepsGives32", 0, 65535, 0, 32768, 32, 16},
                                           TMappingCase{"HundredSteps", 0, 65535, 100, 65535, 100, 100},
                                           TMappingCase{"HalfDownToEven", 0, 64, 0, 5, 32, 2},
                                           TMappingCase{"HalfUpToEven", 0, 64, 0, 7, 32, 4},
                                           TMappingCase{"NegativeMinimum", -6000, 0, 0, -3000, 32, 16},
                                           TMappingCase{"FullInt32Range", INT32_MIN, INT32_MAX, 0, 0, 32, 16},
                                           TMappingCase{"ValueAboveRange", 10, 20, 10, 25, 10, 10}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

struct TWriteCase {
    const char* Name;
    int32_t Minimum, Maximum;
    int Steps, Position;
    int32_t Written;
};

class MixerSliderWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(MixerSliderWrite, WritesTheRoundedValueForAllChannels)
{
    const TWriteCase& c = GetParam();
    TChain chain(Range(c.Minimum, c.Maximum, c.Steps, c.Minimum));
    chain.Slider.SetControl(&chain.Control);
    chain.Slider.setValue(c.Position);
    EXPECT_EQ(chain.Fake->LastWrite, c.Written);
    EXPECT_EQ(chain.Fake->LastChannel, 0);
    EXPECT_EQ(chain.Fake->LastItem, -1);
}

INSTANTIATE_TEST_SUITE_P(
    MixerSlider, MixerSliderWrite,
    ::testing::Values(TWriteCase{"MiddleOf32", 0, 65535, 0, 16, 32768}, TWriteCase{"FirstOf32", 0, 65535, 0, 1, 2048},
                      TWriteCase{"Top", 0, 65535, 0, 32, 65535}, TWriteCase{"MiddleOf100", 0, 65535, 100, 50, 32768},
                      TWriteCase{"HalfUpToEven", 0, 96, 64, 1, 2}, TWriteCase{"HalfDownToEven", 0, 96, 64, 3, 4},
                      TWriteCase{"NegativeHalfToEven", -10, 10, 0, 4, -8}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

struct TUnavailableCase {
    const char* Name;
    TPrepare Prepare;
    bool Enabled = true;
    int Item = -1;
    bool Bind = true;
};

void Multiple(TFakeMixerBackend& f)
{
    f.Control->Flags.Include(TMMControlFlag::cfMultiple);
    f.Control->Items = 3;
}

class MixerSliderUnavailable : public ::testing::TestWithParam<TUnavailableCase> {};

TEST_P(MixerSliderUnavailable, SitsDisabledInTheMiddleAndWritesNothing)
{
    const TUnavailableCase& c = GetParam();
    TChain chain(c.Prepare);
    chain.Slider.SetEnabled(c.Enabled);
    chain.Slider.SetItem(c.Item);
    ASSERT_NO_THROW(chain.Slider.SetControl(c.Bind ? &chain.Control : nullptr));
    ExpectUnavailable(chain.Slider);
    EXPECT_EQ(chain.Fake->Reads, 0);

    chain.Slider.setValue(2); // a move made anyway, by code, is taken back
    QCoreApplication::processEvents();
    EXPECT_EQ(chain.Slider.value(), 1);
    EXPECT_FALSE(chain.Fake->LastWrite);
}

INSTANTIATE_TEST_SUITE_P(
    MixerSlider, MixerSliderUnavailable,
    ::testing::Values(TUnavailableCase{"NoMixerDevice", [](TFakeMixerBackend& f) { f.Devices = 0; }},
                      TUnavailableCase{"NoWaveOutLine", [](TFakeMixerBackend& f) { f.HasLine = false; }},
                      TUnavailableCase{"NoVolumeControl", [](TFakeMixerBackend& f) { f.Control.reset(); }},
                      TUnavailableCase{
                          "ControlDisabled",
                          [](TFakeMixerBackend& f) { f.Control->Flags.Include(TMMControlFlag::cfDisabled); }},
                      TUnavailableCase{"EmptyRange", Range(5, 5, 0, 5)},
                      TUnavailableCase{"NoControlBound", {}, true, -1, false},
                      TUnavailableCase{"SwitchedOff", {}, false}, TUnavailableCase{"ItemOnPlainControl", {}, true, 0},
                      TUnavailableCase{"NoItemOnMultipleControl", Multiple},
                      TUnavailableCase{"ItemPastMultipleControl", Multiple, true, 3}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(MixerSliderSetup, RunsAgainOnEachSettingAndReadsAfresh)
{
    TChain chain(Multiple);
    chain.Slider.SetItem(2);
    chain.Slider.SetControl(&chain.Control);
    chain.Slider.SetEnabled(false);
    ExpectUnavailable(chain.Slider);
    chain.Fake->Value = 65535;
    chain.Slider.SetEnabled(true);
    EXPECT_EQ(chain.Slider.value(), 32);
    chain.Slider.SetChannel(1);
    EXPECT_EQ(chain.Fake->LastChannel, 1);
    chain.Slider.setValue(8);
    EXPECT_EQ(chain.Fake->LastWrite, 16384);
    EXPECT_EQ(chain.Fake->LastItem, 2);

    // Looked up again and gone: the slider follows once set up again.
    chain.Fake->Control.reset();
    chain.Control.Lookup();
    chain.Slider.Setup();
    ExpectUnavailable(chain.Slider);
}

TEST(MixerSliderSetup, RefusesAControlItCannotShow)
{
    TChain chain([](TFakeMixerBackend& f) { f.Control->ControlType = TMMControlType::ctMute; });
    TMMMixerControl volume(&chain.Line, TMMControlType::ctVolume);
    TMMMixerControl mute(&chain.Line, TMMControlType::ctMute);
    chain.Slider.SetControl(&volume);
    try {
        chain.Slider.SetControl(&mute);
        ADD_FAILURE() << "a switch was bound";
    } catch (const EMMMCIError& e) {
        EXPECT_STREQ(e.what(), "Invalid control class");
    }
    EXPECT_EQ(chain.Slider.Control(), &volume);
}

TEST(MixerSliderError, AFailedWriteRaisesThePlatformText)
{
    TChain chain([](TFakeMixerBackend& f) {
        f.WriteError = -19;
        f.Text = "No such device";
    });
    chain.Slider.SetControl(&chain.Control);
    try {
        chain.Slider.setValue(16);
        ADD_FAILURE() << "no error raised";
    } catch (const EMMMCIError& e) {
        EXPECT_STREQ(e.what(), "No such device");
    }
}

TEST(MixerSliderError, AFailedReadRaisesAndLeavesItDisabled)
{
    TChain chain([](TFakeMixerBackend& f) { f.ReadError = -19; });
    try {
        chain.Slider.SetControl(&chain.Control);
        ADD_FAILURE() << "no error raised";
    } catch (const EMMMCIError& e) {
        EXPECT_STREQ(e.what(), "MMSystem error: -19");
    }
    ExpectUnavailable(chain.Slider);
}

TEST(MixerSliderAlsa, RealMixerIsQuietAndDisabledWithoutACard)
{
    ::testing::internal::CaptureStderr();
    TMMMixerDevice device(CreateAlsaMixerBackend());
    TMMAudioLine line(&device);
    TMMMixerControl control(&line);
    TMMMixerSlider slider;
    EXPECT_NO_THROW(slider.SetControl(&control));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    if (!control.Found() || control.Info().Flags.Contains(TMMControlFlag::cfDisabled)) {
        ExpectUnavailable(slider);
    } else {
        EXPECT_TRUE(slider.isEnabled());
    }
}

} // namespace
