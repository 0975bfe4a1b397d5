#include "music/dsp_component.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

using TLog = std::vector<std::string>;

const char* StepName(TMMChainStep step)
{
    static const char* const names[] = {"Open", "Close", "Start", "Stop", "Pause", "Restart"};
    return names[static_cast<int>(step)];
}

// Logs every step as "name:Step"; at open also the buffer size it was given,
// and whether the sink below had already opened itself. A sink logs once its
// step is done, after the chain above has logged its own.
template <class TBase> class TLogged : public TBase {
public:
    TLogged(std::string name, TLog& log) : m_name(std::move(name)), m_log(log) {}

    const TMMDSPComponent* Watched = nullptr;
    uint32_t BufferSizeAtOpen = 0;
    bool WatchedOpenedAtOpen = false;

    void Open() override
    {
        BufferSizeAtOpen = this->BufferSize();
        WatchedOpenedAtOpen = Watched && Watched->Opened();
        Step(TMMChainStep::Open, [this] { TBase::Open(); });
    }
    void Close() override
    {
        Step(TMMChainStep::Close, [this] { TBase::Close(); });
    }
    void Start() override
    {
        Step(TMMChainStep::Start, [this] { TBase::Start(); });
    }
    void Stop() override
    {
        Step(TMMChainStep::Stop, [this] { TBase::Stop(); });
    }
    void Pause() override
    {
        Step(TMMChainStep::Pause, [this] { TBase::Pause(); });
    }
    void Restart() override
    {
        Step(TMMChainStep::Restart, [this] { TBase::Restart(); });
    }

private:
    template <class F> void Step(TMMChainStep step, F base)
    {
        constexpr bool isSink = std::is_base_of_v<TMMCustomSoundComponent, TBase>;
        if (!isSink)
            m_log.push_back(m_name + ":" + StepName(step));
        base();
        if (isSink)
            m_log.push_back(m_name + ":" + StepName(step));
    }

    std::string m_name;
    TLog& m_log;
};

// A source that fills the whole requested length with seed, seed + 1, ...
// and reports more buffers until Remaining loads have been made.
class TPatternSource : public TLogged<TMMCustomFile> {
public:
    using TLogged::TLogged;

    int Loads = 0;
    int Remaining = 1000;
    uint8_t Seed = 0;
    std::vector<uint8_t*> SeenData;

    void BufferLoad(TMMBuffer& buffer, bool& moreBuffers) override
    {
        TMMDSPComponent::BufferLoad(buffer, moreBuffers);
        ++Loads;
        SeenData.push_back(buffer.Data);
        if (Remaining <= 0) {
            buffer.BytesUsed = 0;
            moreBuffers = false;
            return;
        }
        for (uint32_t i = 0; i < buffer.Size; ++i)
            buffer.Data[i] = static_cast<uint8_t>(Seed + i);
        buffer.BytesUsed = buffer.Size;
        moreBuffers = --Remaining > 0;
    }

    void Touch()
    {
        DoChange();
        DoChanged();
    }
};

using TStage = TLogged<TMMDSPComponent>;
using TSink = TLogged<TMMCustomSoundComponent>;

TWaveFormat Pcm16(uint16_t channels, uint32_t rate = 44100)
{
    return TWaveFormat::Pcm(channels, rate, 16);
}

struct TChain {
    TLog log;
    TPatternSource source{"source", log};
    TStage stage{"stage", log};
    TSink sink{"sink", log};

    TChain()
    {
        source.SetOutput(&stage);
        stage.SetOutput(&sink);
        source.Watched = &sink;
        stage.Watched = &sink;
        log.clear();
    }
};

TEST(ChainLinks, WritingEitherSideLinksBoth)
{
    TLog log;
    TStage a("a", log), b("b", log), c("c", log);

    a.SetOutput(&b);
    EXPECT_EQ(b.Input(), &a);
    EXPECT_EQ(a.Output(), &b);

    c.SetInput(&a); // takes a's output away from b
    EXPECT_EQ(a.Output(), &c);
    EXPECT_EQ(c.Input(), &a);
    EXPECT_EQ(b.Input(), nullptr);

    c.SetInput(nullptr);
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);

    b.SetInput(&a);
    a.SetOutput(nullptr);
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(a.Output(), nullptr);
}

TEST(ChainLinks, SelfLinksAndLoopsAreRefused)
{
    TLog log;
    TStage a("a", log), b("b", log), c("c", log);

    a.SetOutput(&a);
    a.SetInput(&a);
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(a.Input(), nullptr);

    a.SetOutput(&b);
    b.SetOutput(&c);
    c.SetOutput(&a); // would close a -> b -> c -> a
    a.SetInput(&c);
    EXPECT_EQ(c.Output(), nullptr);
    EXPECT_EQ(a.Input(), nullptr);
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.Output(), &c);
}

TEST(ChainLinks, EveryComponentWhoseLinkChangesStopsFirst)
{
    TLog log;
    TStage a("a", log), b("b", log), c("c", log), d("d", log);
    a.SetOutput(&b);
    c.SetOutput(&d);
    for (TStage* s : {&a, &b, &c, &d}) {
        s->Open();
        s->Start();
        s->Pause();
    }
    log.clear();

    a.SetOutput(&d); // a's old partner b and d's old partner c lose a link
    for (TStage* s : {&a, &b, &c, &d}) {
        EXPECT_FALSE(s->Started());
        EXPECT_FALSE(s->Paused());
    }
    EXPECT_EQ(log, (TLog{"a:Stop", "b:Stop", "d:Stop", "c:Stop"}));
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(c.Output(), nullptr);
}

TEST(ChainLinks, DestructionUnlinksBothSides)
{
    TLog log;
    TStage a("a", log), c("c", log);
    {
        TStage b("b", log);
        a.SetOutput(&b);
        b.SetOutput(&c);
    }
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);
}

TEST(ChainFormat, DownstreamTakesTheFormatOnLinkAndOnChange)
{
    TLog log;
    TPatternSource source("source", log);
    TStage stage("stage", log);
    TSink sink("sink", log);
    TWaveFormat stereo = Pcm16(2);
    source.SetWaveFormat(&stereo.Header());

    stage.SetOutput(&sink);
    source.SetOutput(&stage);
    ASSERT_NE(sink.WaveFormat(), nullptr);
    EXPECT_EQ(sink.WaveFormat()->nChannels, 2);
    // Each holds a copy of its own.
    EXPECT_NE(sink.WaveFormat(), source.WaveFormat());

    TWaveFormat mono = Pcm16(1, 22050);
    source.SetWaveFormat(&mono.Header());
    ASSERT_NE(sink.WaveFormat(), nullptr);
    EXPECT_EQ(sink.WaveFormat()->nChannels, 1);
    EXPECT_EQ(sink.WaveFormat()->nSamplesPerSec, 22050u);

    source.SetWaveFormat(nullptr);
    EXPECT_EQ(stage.WaveFormat(), nullptr);
    EXPECT_EQ(sink.WaveFormat(), nullptr);
}

TEST(ChainFormat, ExtraBytesAreCopiedWithTheRecord)
{
    TLog log;
    TStage a("a", log), b("b", log);
    a.SetOutput(&b);
    const uint8_t record[20] = {2, 0, 1, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 0, 2, 4, 0, 2, 0, 0xAB, 0xCD};
    a.SetWaveFormat(reinterpret_cast<const WAVEFORMATEX*>(record));
    ASSERT_NE(b.WaveFormat(), nullptr);
    const auto* copied = reinterpret_cast<const uint8_t*>(b.WaveFormat());
    EXPECT_EQ(copied[18], 0xAB);
    EXPECT_EQ(copied[19], 0xCD);
}

TEST(ChainFormat, LoadingOrDestroyingFormKeepsTheFormatToItself)
{
    for (TMMFormState state : {TMMFormState::Loading, TMMFormState::Destroying}) {
        TChain chain;
        TWaveFormat format = Pcm16(2);
        chain.stage.SetFormState(state);
        chain.source.SetWaveFormat(&format.Header());
        EXPECT_NE(chain.stage.WaveFormat(), nullptr);
        EXPECT_EQ(chain.sink.WaveFormat(), nullptr);

        chain.stage.SetFormState(TMMFormState::Ready);
        chain.source.SetWaveFormat(&format.Header());
        EXPECT_NE(chain.sink.WaveFormat(), nullptr);
    }
}

TEST(ChainFormat, ANewFormatStopsAStartedComponent)
{
    TChain chain;
    chain.stage.Open();
    chain.stage.Start();
    chain.stage.Pause();
    TWaveFormat format = Pcm16(2);
    chain.stage.SetWaveFormat(&format.Header());
    EXPECT_FALSE(chain.stage.Started());
    EXPECT_FALSE(chain.stage.Paused());
    EXPECT_TRUE(chain.stage.Opened());
}

struct TBufferSizeCase {
    uint32_t bufferSize;
    uint16_t blockAlign; // 0: no format
    uint32_t effective;
};

TEST(ChainBufferSize, EffectiveSizeIsAWholeNumberOfBlocks)
{
    const TBufferSizeCase cases[] = {
        {2048, 6, 2046}, {4, 6, 6}, {2048, 0, 2048}, {2048, 4, 2048}, {0, 4, 4}, {4097, 4, 4096}, {5, 1, 5},
    };
    for (const auto& c : cases) {
        TLog log;
        TStage stage("stage", log);
        EXPECT_EQ(stage.BufferSize(), 2048u);
        stage.SetBufferSize(c.bufferSize);
        if (c.blockAlign) {
            TWaveFormat format = Pcm16(1);
            format->nBlockAlign = c.blockAlign;
            stage.SetWaveFormat(&format.Header());
        }
        stage.Open();
        EXPECT_EQ(stage.EffectiveBufferSize(), c.effective) << c.bufferSize << " / " << c.blockAlign;
    }
}

TEST(ChainLifecycle, SinkStepsRunDownTheChainAboveThenOnTheSink)
{
    TChain chain;
    chain.sink.SetBufferSize(4096);
    chain.stage.SetBufferSize(100);

    chain.sink.Open();
    EXPECT_EQ(chain.log, (TLog{"source:Open", "stage:Open", "sink:Open"}));
    EXPECT_EQ(chain.source.BufferSizeAtOpen, 4096u);
    EXPECT_EQ(chain.stage.BufferSizeAtOpen, 4096u);
    EXPECT_EQ(chain.stage.EffectiveBufferSize(), 4096u);
    EXPECT_FALSE(chain.source.WatchedOpenedAtOpen);
    EXPECT_FALSE(chain.stage.WatchedOpenedAtOpen);
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&chain.source, &chain.stage, &chain.sink})
        EXPECT_TRUE(c->Opened());

    chain.log.clear();
    chain.sink.Start();
    chain.sink.Pause();
    EXPECT_TRUE(chain.source.Started());
    EXPECT_TRUE(chain.stage.Paused());
    EXPECT_TRUE(chain.sink.Paused());
    chain.sink.Restart();
    EXPECT_FALSE(chain.stage.Paused());
    chain.sink.Pause();
    chain.sink.Stop();
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&chain.source, &chain.stage, &chain.sink}) {
        EXPECT_FALSE(c->Started());
        EXPECT_FALSE(c->Paused());
        EXPECT_TRUE(c->Opened());
    }
    chain.sink.Close();
    EXPECT_FALSE(chain.source.Opened());
    EXPECT_FALSE(chain.sink.Opened());
    EXPECT_EQ(chain.log,
              (TLog{"source:Start", "stage:Start", "sink:Start", "source:Pause", "stage:Pause", "sink:Pause",
                    "source:Restart", "stage:Restart", "sink:Restart", "source:Pause", "stage:Pause", "sink:Pause",
                    "source:Stop", "stage:Stop", "sink:Stop", "source:Close", "stage:Close", "sink:Close"}));
}

TEST(ChainLifecycle, StartNeedsOpen)
{
    TLog log;
    TStage stage("stage", log);
    stage.Start();
    EXPECT_FALSE(stage.Started());
    stage.Open();
    stage.Start();
    EXPECT_TRUE(stage.Started());
}

TEST(ChainLifecycle, ASinkAboveLimitsTheStepToTheLowerSink)
{
    TLog log;
    TPatternSource source("source", log);
    TSink upper("upper", log);
    TStage stage("stage", log);
    TSink lower("lower", log);
    source.SetOutput(&upper);
    upper.SetOutput(&stage);
    stage.SetOutput(&lower);
    log.clear();

    lower.Open();
    lower.Start();
    EXPECT_EQ(log, (TLog{"lower:Open", "lower:Start"}));
    EXPECT_FALSE(stage.Opened());
    EXPECT_TRUE(lower.Started());

    log.clear();
    upper.Open(); // the upper sink drives its own chain only
    EXPECT_EQ(log, (TLog{"source:Open", "upper:Open"}));
}

TEST(ChainBuffers, LoadPassesTheSameBufferUpAndMoreBuffersBack)
{
    TChain chain;
    TLog events;
    std::vector<uint8_t*> eventData;
    auto record = [&](const char* name) {
        return [&, name](TMMDSPComponent&, TMMBuffer& buffer, bool&) {
            events.push_back(name);
            eventData.push_back(buffer.Data);
        };
    };
    chain.sink.SetOnBufferLoad(record("sink"));
    chain.stage.SetOnBufferLoad(record("stage"));
    chain.source.SetOnBufferLoad(record("source"));
    chain.source.Remaining = 2;
    chain.source.Seed = 7;

    std::vector<uint8_t> bytes(16, 0xEE);
    TMMBuffer buffer{bytes.data(), 10, 99};
    bool more = false;
    EXPECT_EQ(chain.sink.PullBuffer(buffer, more), 10u);
    EXPECT_TRUE(more);
    EXPECT_EQ(events, (TLog{"sink", "stage", "source"}));
    EXPECT_EQ(eventData, std::vector<uint8_t*>(3, bytes.data()));
    EXPECT_EQ(chain.source.SeenData, std::vector<uint8_t*>{bytes.data()});
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(bytes[9], 16);
    EXPECT_EQ(bytes[10], 0xEE); // nothing beyond the requested length

    EXPECT_EQ(chain.sink.PullBuffer(buffer, more), 10u);
    EXPECT_FALSE(more); // the last buffer

    more = true;
    EXPECT_EQ(chain.sink.PullBuffer(buffer, more), 0u);
    EXPECT_FALSE(more);
    EXPECT_EQ(chain.source.Loads, 3);
}

TEST(ChainBuffers, AnEmptyFillEndsEvenWhenMoreBuffersIsClaimed)
{
    TChain chain;
    chain.stage.SetOnBufferLoad([](TMMDSPComponent&, TMMBuffer&, bool& more) { more = true; });
    chain.source.Remaining = 0;
    std::vector<uint8_t> bytes(8);
    TMMBuffer buffer{bytes.data(), 8, 0};
    bool more = true;
    EXPECT_EQ(chain.sink.PullBuffer(buffer, more), 0u);
    EXPECT_FALSE(more);
}

TEST(ChainBuffers, ReadyPassesTheBufferDown)
{
    TChain chain;
    TLog events;
    std::vector<uint8_t> bytes(4);
    TMMBuffer buffer{bytes.data(), 4, 4};
    for (auto [component, name] : {std::pair<TMMDSPComponent*, const char*>{&chain.source, "source"},
                                   {&chain.stage, "stage"},
                                   {&chain.sink, "sink"}})
        component->SetOnBufferReady([&events, &buffer, name = name](TMMDSPComponent&, TMMBuffer& b) {
            EXPECT_EQ(&b, &buffer);
            events.push_back(name);
        });

    chain.stage.BufferReady(buffer);
    EXPECT_EQ(events, (TLog{"stage", "sink"}));
    events.clear();
    chain.sink.ReportBuffer(buffer);
    EXPECT_EQ(events, (TLog{"sink"}));
}

TEST(ChainFile, EnabledByDefaultAndChangeEventsInOrder)
{
    TLog log;
    TPatternSource source("source", log);
    EXPECT_TRUE(source.Enabled());
    source.SetEnabled(false);
    EXPECT_FALSE(source.Enabled());

    TLog events;
    source.SetOnChanged([&](TMMDSPComponent& sender) {
        EXPECT_EQ(&sender, &source);
        events.push_back("changed");
    });
    source.SetOnChange([&](TMMDSPComponent&) { events.push_back("change"); });
    source.Touch();
    EXPECT_EQ(events, (TLog{"change", "changed"}));
}

} // namespace
