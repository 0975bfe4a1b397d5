// Who hears of a wave's changes, in which order and how often: the change
// callback, the observers, and the components that own a wave.
#include "audio/wave_file.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

void Load(TMMWave& wave, const TBytes& image)
{
    std::istringstream stream(std::string(image.begin(), image.end()));
    wave.LoadFromStream(stream);
}

class TRecordingObserver : public TMMWaveObserver {
public:
    TRecordingObserver(std::vector<std::string>& log, std::string name) : m_log(log), m_name(std::move(name)) {}
    void WaveChanged(TMMWave& wave) override
    {
        m_log.push_back(m_name + ":" + std::to_string(wave.DataSize()));
        if (OnChanged)
            OnChanged();
    }
    std::function<void()> OnChanged;

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

// The callback comes first and only while the counter is zero; observers
// are told every time, and see the wave as it is after the change.
TEST(WaveNotify, CallbackThenObservers)
{
    std::vector<std::string> log;
    TMMWave wave;
    wave.CreateMemoryStore();
    wave.SetOnChange([&] { log.push_back("callback:" + std::to_string(wave.DataSize())); });
    TRecordingObserver first(log, "first");
    TRecordingObserver second(log, "second");
    wave.AddObserver(&first);
    wave.AddObserver(&second);
    wave.AddObserver(&first);

    Load(wave, PcmWaveImage(1, 8000, 8, 10));
    EXPECT_EQ(log, (std::vector<std::string>{"callback:10", "first:10", "second:10"}));

    log.clear();
    wave.BeginUpdate();
    wave.BeginUpdate();
    Load(wave, PcmWaveImage(1, 8000, 8, 20));
    wave.EndUpdate();
    wave.ClearWave();
    wave.EndUpdate();
    EXPECT_EQ(log, (std::vector<std::string>{"first:20", "second:20", "first:0", "second:0"}));

    log.clear();
    wave.EndUpdate(); // unbalanced: the counter stays at zero
    wave.RemoveObserver(&second);
    Load(wave, PcmWaveImage(1, 8000, 8, 30));
    EXPECT_EQ(log, (std::vector<std::string>{"callback:30", "first:30"}));
}

TEST(WaveNotify, ObserverLeavingDuringANotification)
{
    std::vector<std::string> log;
    TMMWave wave;
    TRecordingObserver first(log, "first");
    TRecordingObserver second(log, "second");
    first.OnChanged = [&] { wave.RemoveObserver(&second); };
    wave.AddObserver(&first);
    wave.AddObserver(&second);
    Load(wave, PcmWaveImage(1, 8000, 8, 10));
    EXPECT_EQ(log, (std::vector<std::string>{"first:10"}));
}

// Assignment copies the image (never shares it) and tells once, at the end.
TEST(WaveNotify, AssignCopiesAndTellsOnce)
{
    TMMWave source;
    source.CreateMemoryStore();
    const TBytes image = PcmWaveImage(2, 22050, 16, 100);
    Load(source, image);
    source.SetTimeFormat(TMMTimeFormat::tfByte);

    std::vector<std::string> log;
    TMMWave target;
    target.CreateMemoryStore();
    Load(target, PcmWaveImage(1, 8000, 8, 7));
    target.SetOnChange([&] { log.push_back("callback:" + std::to_string(target.DataSize())); });
    TRecordingObserver observer(log, "observer");
    target.AddObserver(&observer);
    target.Assign(source);
    EXPECT_EQ(log, (std::vector<std::string>{"callback:400", "observer:400"}));
    EXPECT_NE(target.SampleData(), source.SampleData());
    EXPECT_EQ(target.SampleData()[0], source.SampleData()[0]);

    source.ClearWave();
    EXPECT_EQ(target.DataBytes(), 400u);
    EXPECT_EQ(target.SampleData()[399], image[44 + 399]);

    log.clear();
    target.Assign(source);
    EXPECT_TRUE(target.IsMemoryWave());
    EXPECT_EQ(target.FileSize(), 0u);
    EXPECT_EQ(target.SampleData(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"callback:0", "observer:0"}));
}

// The component fires its change event, takes the wave's format, then
// fires its changed event.
TEST(WaveNotify, ComponentFollowsItsWave)
{
    TMMCustomMemoryWave component;
    EXPECT_TRUE(component.Wave().IsMemoryWave());
    EXPECT_EQ(component.StreamFormat(), nullptr);
    std::vector<std::string> log;
    auto formatRate = [&] {
        return component.StreamFormat() ? std::to_string(component.StreamFormat()->Header().nSamplesPerSec) : "none";
    };
    component.SetOnChange([&] { log.push_back("change:" + formatRate()); });
    component.SetOnChanged([&] { log.push_back("changed:" + formatRate()); });

    Load(component.Wave(), PcmWaveImage(1, 8000, 8, 10));
    TMMWave other;
    other.CreateMemoryStore();
    Load(other, PcmWaveImage(2, 44100, 16, 10));
    component.SetWave(other);
    component.Wave().ClearWave();
    EXPECT_EQ(log, (std::vector<std::string>{"change:none", "changed:8000", "change:8000", "changed:44100",
                                             "change:44100", "changed:none"}));
    EXPECT_EQ(other.DataBytes(), 40u);

    TMMCustomWaveFile plain;
    EXPECT_FALSE(plain.Wave().IsMemoryWave());
}

// Tearing a component down tells no one: by then an owner deriving from it
// is already gone.
TEST(WaveNotify, DestructionCallsNothingBack)
{
    int calls = 0;
    {
        TMMCustomMemoryWave component;
        Load(component.Wave(), PcmWaveImage(1, 8000, 8, 10));
        component.Wave().SetOnChange([&] { ++calls; });
        component.SetOnChange([&] { ++calls; });
        component.SetOnChanged([&] { ++calls; });
    }
    EXPECT_EQ(calls, 0);
}

} // namespace
