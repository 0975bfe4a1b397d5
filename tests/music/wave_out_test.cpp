#include "music/wave_out.h"

#include "audio/backends/sound_backend.h"

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

// No sound card: the system device list is the null back end's.
const bool kNullDriver = (setenv("ALSOFT_DRIVERS", "null", 0), true);

// The byte at a stream position: not periodic in any buffer size, so that a
// lost or repeated buffer shows.
uint8_t PatternByte(uint64_t position) { return static_cast<uint8_t>((position * 7 + position / 251) & 0xFF); }

// A source filling a counting pattern of Total bytes. With FailAfter set it
// reports more data for that many buffers and then delivers nothing.
class TCountingSource : public TMMDSPComponent {
public:
    explicit TCountingSource(uint64_t total) : Total(total)
    {
        const TWaveFormat format = TWaveFormat::Pcm(2, 44100, 16);
        SetWaveFormat(&format.Header());
    }
    uint64_t Total;
    uint64_t Position = 0;
    int FailAfter = -1;
    int Loads = 0;

    void BufferLoad(TMMBuffer& buffer, bool& moreBuffers) override
    {
        ++Loads;
        if (FailAfter >= 0 && Loads > FailAfter) {
            buffer.BytesUsed = 0;
            moreBuffers = true;
            return;
        }
        const uint64_t n = std::min<uint64_t>(buffer.Size, Total - Position);
        for (uint64_t i = 0; i < n; ++i)
            buffer.Data[i] = PatternByte(Position + i);
        Position += n;
        buffer.BytesUsed = static_cast<uint32_t>(n);
        moreBuffers = FailAfter >= 0 || Position < Total;
    }
};

std::vector<uint8_t> Pattern(uint64_t from, uint64_t to)
{
    std::vector<uint8_t> bytes;
    for (uint64_t p = from; p < to; ++p)
        bytes.push_back(PatternByte(p));
    return bytes;
}

// A loopback output under a virtual clock, with the source linked above it
// and every event counted.
struct TRig {
    explicit TRig(uint64_t total, uint32_t bufferSize = 2048, int numBuffers = 4)
        : Source(total), Out(Clock, TWaveOutDevice::Loopback)
    {
        Out.SetBufferSize(bufferSize);
        Out.SetNumBuffers(numBuffers);
        Source.SetOutput(&Out);
        Out.SetOnBufferQueued([this](const uint8_t* d, uint32_t n) { Queued.insert(Queued.end(), d, d + n); });
        Out.SetOnError([this](TMMCustomWaveOutComponent&, const std::string& m) { Errors.push_back(m); });
        Out.SetOnStop([this](TMMCustomWaveOutComponent&) { ++Stops; });
        Out.SetOnOpen([this](TMMCustomWaveOutComponent&) { ++Opens; });
        Out.SetOnClose([this](TMMCustomWaveOutComponent&) { ++Closes; });
        Out.SetOnPause([this](TMMCustomWaveOutComponent&) { ++Pauses; });
    }

    // Renders a stretch and runs the user-interface thread's work.
    void Step(int frames = 512)
    {
        std::vector<int16_t> mix(static_cast<size_t>(frames) * TMMWaveOut::LoopbackChannels);
        ASSERT_TRUE(Out.RenderLoopback(mix.data(), frames));
        Clock.RunPosted();
    }
    // Plays until the output stops by itself (bounded by rounds, not time).
    void PlayToEnd()
    {
        for (int round = 0; round < 10000 && Out.Playing(); ++round)
            Step();
    }

    TVirtualClock Clock;
    TCountingSource Source;
    TMMWaveOut Out;
    std::vector<uint8_t> Queued;
    std::vector<std::string> Errors;
    int Stops = 0, Opens = 0, Closes = 0, Pauses = 0;
};

TEST(WaveOutProperties, LimitsOnBufferSizeAndNumBuffers)
{
    struct TCase {
        uint32_t BufferSize;
        uint32_t ExpectedSize;
        int NumBuffers;
        int ExpectedCount;
    };
    const TCase cases[] = {{16, 32, 1, 10}, {10, 32, 0, 10}, {32, 32, 2, 2}, {4096, 4096, 600, 500},
                           {33, 33, 1000, 500}, {2048, 2048, 500, 500}};
    for (const TCase& c : cases) {
        TVirtualClock clock;
        TMMWaveOut out(clock, TWaveOutDevice::Loopback);
        out.SetBufferSize(c.BufferSize);
        out.SetNumBuffers(c.NumBuffers);
        EXPECT_EQ(out.BufferSize(), c.ExpectedSize) << c.BufferSize;
        EXPECT_EQ(out.NumBuffers(), c.ExpectedCount) << c.NumBuffers;
    }
}

TEST(WaveOutProperties, ChangesWhileOpenRaiseAndKeepTheValue)
{
    TRig rig(100000);
    rig.Out.Open();
    ASSERT_TRUE(rig.Out.Opened());
    EXPECT_THROW(rig.Out.SetBufferSize(4096), EMMWaveOutError);
    EXPECT_THROW(rig.Out.SetNumBuffers(8), EMMWaveOutError);
    EXPECT_THROW(rig.Out.SetDeviceID(0), EMMWaveOutError);
    EXPECT_EQ(rig.Out.BufferSize(), 2048u);
    EXPECT_EQ(rig.Out.NumBuffers(), 4);
    ASSERT_EQ(rig.Errors.size(), 3u);
    for (const std::string& e : rig.Errors)
        EXPECT_EQ(e, "Change to property while device was open");
    EXPECT_TRUE(rig.Out.Opened());
}

TEST(WaveOutProperties, DeviceListAndInvalidDevice)
{
    TRig rig(1000);
    ASSERT_EQ(rig.Out.NumDevs(), 1);
    EXPECT_EQ(rig.Out.ProductName(), "OpenAL Soft loopback");
    for (const int id : {1, 7, -2, -100}) {
        rig.Out.SetDeviceID(id);
        EXPECT_EQ(rig.Out.DeviceID(), TMMWaveOut::InvalidDeviceID) << id;
        EXPECT_EQ(rig.Out.ProductName(), "No wave audio playing device found");
    }
    try {
        rig.Out.Start();
        FAIL() << "opened an invalid device";
    } catch (const EMMWaveOutError& e) {
        EXPECT_STREQ(e.what(), "Invalid DeviceID");
    }
    rig.Out.SetDeviceID(-1);
    EXPECT_EQ(rig.Out.ProductName(), "OpenAL Soft loopback");
    rig.Out.Open();
    EXPECT_TRUE(rig.Out.Opened());

    // The system list is OpenAL's own (here the null back end's).
    TVirtualClock clock;
    TMMWaveOut system(clock);
    ASSERT_GE(system.NumDevs(), 1);
    EXPECT_NE(system.ProductName(), "No wave audio playing device found");
}

TEST(WaveOutFormat, UnplayableFormatsRaiseAtStartAndLeaveItClosed)
{
    auto pcm = [](uint16_t channels, uint16_t bits) { return TWaveFormat::Pcm(channels, 44100, bits); };
    TWaveFormat noBlock = pcm(2, 16);
    noBlock->nBlockAlign = 0;
    TWaveFormat mp3 = pcm(2, 16);
    mp3->wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    const std::string invalid = "WaveOutOpen:\n\rInvalid wave format";
    const std::string cannot = "WaveOutOpen:\n\rThe actual device can't play this format";
    struct TCase {
        const char* Name;
        const WAVEFORMATEX* Format;
        std::string Message;
    };
    const TWaveFormat bits24 = pcm(2, 24), six = pcm(6, 16);
    const TCase cases[] = {{"none", nullptr, invalid},
                           {"no block", &noBlock.Header(), invalid},
                           {"mp3", &mp3.Header(), cannot},
                           {"24 bits", &bits24.Header(), cannot},
                           {"6 channels", &six.Header(), cannot}};
    for (const TCase& c : cases) {
        TRig rig(10000);
        rig.Source.SetWaveFormat(c.Format);
        try {
            rig.Out.Start();
            ADD_FAILURE() << c.Name << ": started";
        } catch (const EMMWaveOutError& e) {
            EXPECT_EQ(e.what(), c.Message) << c.Name;
        }
        EXPECT_EQ(rig.Errors, std::vector<std::string>{c.Message}) << c.Name;
        EXPECT_FALSE(rig.Out.Opened()) << c.Name;
        EXPECT_FALSE(rig.Source.Opened()) << c.Name;
        EXPECT_EQ(rig.Source.Loads, 0) << c.Name;
    }
}

TEST(WaveOutStreaming, QueuesEverySourceByteOnceInOrderAndStopsAtTheEnd)
{
    struct TCase {
        uint64_t Total;
        uint32_t BufferSize;
        int NumBuffers;
    };
    // A song shorter than a buffer, one ending mid-buffer, one on a buffer
    // boundary, one much longer than the ring.
    const TCase cases[] = {{1000, 2048, 4}, {21500, 2048, 4}, {8192, 2048, 4}, {200000, 4096, 10}, {5000, 32, 2}};
    for (const TCase& c : cases) {
        TRig rig(c.Total, c.BufferSize, c.NumBuffers);
        rig.Out.Start();
        EXPECT_TRUE(rig.Out.Playing());
        rig.PlayToEnd();
        EXPECT_FALSE(rig.Out.Playing()) << c.Total;
        EXPECT_EQ(rig.Queued, Pattern(0, c.Total)) << c.Total;
        EXPECT_EQ(rig.Stops, 1) << c.Total;
        EXPECT_EQ(rig.Out.PlayedBytes(), c.Total);
        // The device stays open for the next start; the blocks went back.
        EXPECT_TRUE(rig.Out.Opened());
        EXPECT_EQ(rig.Out.QueuedBuffers(), 0);
        EXPECT_EQ(rig.Out.PooledBlocks(), rig.Out.AllocatedBlocks());
        EXPECT_LE(rig.Out.AllocatedBlocks(), static_cast<size_t>(c.NumBuffers));
        // Nothing more is reported once stopped.
        rig.Step();
        EXPECT_EQ(rig.Stops, 1);
        EXPECT_TRUE(rig.Errors.empty());
    }
}

TEST(WaveOutStreaming, StopReturnsTheBuffersAndStartResumesWithoutReopening)
{
    TRig rig(100000, 2048, 4);
    rig.Out.Start();
    for (int i = 0; i < 6; ++i)
        rig.Step();
    EXPECT_EQ(rig.Out.QueuedBuffers(), 4);
    rig.Out.Stop();
    EXPECT_FALSE(rig.Out.Playing());
    EXPECT_EQ(rig.Out.QueuedBuffers(), 0);
    EXPECT_EQ(rig.Out.PooledBlocks(), 4u);
    EXPECT_EQ(rig.Stops, 1);
    EXPECT_FALSE(rig.Source.Started());
    const uint64_t pulled = rig.Source.Position;

    rig.Out.Start();
    EXPECT_EQ(rig.Out.AllocatedBlocks(), 4u);
    EXPECT_EQ(rig.Opens, 1);
    rig.PlayToEnd();
    // Every pulled byte was queued once; the stop's unplayed buffers are the
    // source's to resume (an MPEG source seeks back to its resume frame).
    EXPECT_GT(pulled, 0u);
    EXPECT_EQ(rig.Queued, Pattern(0, 100000));
    EXPECT_EQ(rig.Stops, 2);
}

TEST(WaveOutStreaming, PauseOfAClosedOutputOpensItAndStartWaitsForRestart)
{
    TRig rig(50000, 2048, 4);
    rig.Out.Pause();
    EXPECT_TRUE(rig.Out.Opened());
    EXPECT_TRUE(rig.Out.Paused());
    EXPECT_EQ(rig.Pauses, 1);
    rig.Out.Start();
    EXPECT_TRUE(rig.Out.Playing());
    EXPECT_EQ(rig.Out.QueuedBuffers(), 4);
    for (int i = 0; i < 4; ++i)
        rig.Step();
    EXPECT_EQ(rig.Out.PlayedBytes(), 0u);
    EXPECT_EQ(rig.Out.QueuedBuffers(), 4);

    rig.Out.Restart();
    EXPECT_FALSE(rig.Out.Paused());
    rig.Step();
    EXPECT_EQ(rig.Out.PlayedBytes(), 2048u);
    // Pausing again holds the queue where it is.
    rig.Out.Pause();
    const uint64_t held = rig.Out.PlayedBytes();
    for (int i = 0; i < 3; ++i)
        rig.Step();
    EXPECT_EQ(rig.Out.PlayedBytes(), held);
    rig.Out.Restart();
    rig.PlayToEnd();
    EXPECT_EQ(rig.Queued, Pattern(0, 50000));
    EXPECT_EQ(rig.Stops, 1);
}

TEST(WaveOutStreaming, ResetBuffersRefillsFromTheSourcesPosition)
{
    TRig rig(60000, 2048, 4);
    rig.Out.Start();
    rig.Step();
    rig.Step();
    const size_t before = rig.Queued.size();
    rig.Source.Position = 30000; // a seek
    rig.Out.ResetBuffers();
    EXPECT_EQ(rig.Out.QueuedBuffers(), 4);
    EXPECT_EQ(rig.Out.PlayedBytes(), 0u);
    rig.PlayToEnd();
    std::vector<uint8_t> expected = Pattern(0, before);
    const std::vector<uint8_t> tail = Pattern(30000, 60000);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(rig.Queued, expected);
    EXPECT_EQ(rig.Stops, 1);
}

// A ring filled again (a start after a stop, the refill after a seek) goes
// to a device that was stopped; none of it counts as played before the
// device has played it, or the song would skip that stretch.
TEST(WaveOutStreaming, ARefilledRingIsPlayedBeforeItIsReported)
{
    for (const bool seek : {false, true}) {
        TRig rig(100000, 2048, 4);
        rig.Out.Start();
        rig.Step();
        rig.Step();
        if (seek) {
            rig.Out.ResetBuffers();
        } else {
            rig.Out.Stop();
            rig.Out.Start();
        }
        rig.Clock.RunPosted();
        EXPECT_EQ(rig.Out.PlayedBytes(), 0u) << (seek ? "seek" : "restart");
        rig.Step(512); // one buffer of 16-bit stereo
        EXPECT_EQ(rig.Out.PlayedBytes(), 2048u) << (seek ? "seek" : "restart");
        EXPECT_EQ(rig.Out.QueuedBuffers(), 4) << (seek ? "seek" : "restart");
    }
}

TEST(WaveOutLifecycle, NewStreamFormatClosesTheDevice)
{
    TRig rig(100000);
    rig.Out.Start();
    rig.Step();
    const TWaveFormat mono = TWaveFormat::Pcm(1, 22050, 16);
    rig.Source.SetWaveFormat(&mono.Header());
    EXPECT_FALSE(rig.Out.Opened());
    EXPECT_FALSE(rig.Out.Playing());
    EXPECT_EQ(rig.Closes, 1);
    ASSERT_NE(rig.Out.WaveFormat(), nullptr);
    EXPECT_EQ(rig.Out.WaveFormat()->nChannels, 1);
    // Opens again on the new format.
    rig.Out.Start();
    EXPECT_TRUE(rig.Out.Playing());
    EXPECT_EQ(rig.Opens, 2);
}

TEST(WaveOutLifecycle, EmptyRefillAfterMoreDataRaisesAndCloses)
{
    TRig rig(1000000, 2048, 2);
    rig.Source.FailAfter = 3;
    rig.Out.Start();
    try {
        rig.PlayToEnd();
        FAIL() << "no error";
    } catch (const EMMWaveOutError& e) {
        EXPECT_STREQ(e.what(), "Error filling wave buffer");
    }
    EXPECT_EQ(rig.Errors, std::vector<std::string>{"Error filling wave buffer"});
    EXPECT_FALSE(rig.Out.Opened());
    EXPECT_FALSE(rig.Out.Playing());
    EXPECT_FALSE(rig.Source.Opened());
    EXPECT_EQ(rig.Queued, Pattern(0, 3 * 2048));
}

TEST(WaveOutLifecycle, StartWithNothingToPlayRaisesUnableToStart)
{
    TRig rig(0);
    try {
        rig.Out.Start();
        FAIL() << "started";
    } catch (const EMMWaveOutError& e) {
        EXPECT_EQ(std::string(e.what()), "WaveOutStart:\n\rUnable to start device");
    }
    EXPECT_FALSE(rig.Out.Opened());
}

// An open asked for while the device cannot close yet (a buffer handler is
// running, or the close is part-way through its stop) waits for that close
// and then opens on the format current by then; it never opens a second
// device under the first one's notification thread.
TEST(WaveOutLifecycle, OpenDuringAPendingCloseFollowsTheClose)
{
    enum class TFrom { Refill, RefillWithNewFormat, StopOfAClose };
    struct TCase {
        const char* Name;
        TFrom From;
        uint16_t ExpectedChannels;
    };
    const TCase cases[] = {{"refill", TFrom::Refill, 2},
                           {"refill, new format", TFrom::RefillWithNewFormat, 1},
                           {"stop of a close", TFrom::StopOfAClose, 2}};
    for (const TCase& c : cases) {
        TRig rig(100000, 2048, 4);
        const TWaveFormat mono = TWaveFormat::Pcm(1, 44100, 16);
        bool armed = false;
        rig.Out.SetOnBufferFilled([&](TMMCustomWaveOutComponent& out, TMMBuffer&) {
            if (!armed || c.From == TFrom::StopOfAClose)
                return;
            armed = false;
            if (c.From == TFrom::RefillWithNewFormat)
                rig.Source.SetWaveFormat(&mono.Header());
            else
                out.Close();
            out.Open();
        });
        rig.Out.SetOnStop([&](TMMCustomWaveOutComponent& out) {
            ++rig.Stops;
            if (armed && c.From == TFrom::StopOfAClose) {
                armed = false;
                out.Open();
            }
        });
        rig.Out.Start();
        armed = true;
        if (c.From == TFrom::StopOfAClose)
            rig.Out.Close();
        for (int round = 0; round < 20 && rig.Opens < 2; ++round)
            rig.Step();
        EXPECT_FALSE(armed) << c.Name;
        EXPECT_TRUE(rig.Out.Opened()) << c.Name;
        EXPECT_FALSE(rig.Out.Playing()) << c.Name;
        EXPECT_EQ(rig.Stops, 1) << c.Name;
        EXPECT_EQ(rig.Closes, 1) << c.Name;
        EXPECT_EQ(rig.Opens, 2) << c.Name;
        ASSERT_NE(rig.Out.WaveFormat(), nullptr);
        EXPECT_EQ(rig.Out.WaveFormat()->nChannels, c.ExpectedChannels) << c.Name;
        // The reopened device plays the rest of the song.
        const uint64_t resumed = rig.Source.Position;
        rig.Queued.clear();
        rig.Out.Start();
        rig.PlayToEnd();
        EXPECT_EQ(rig.Queued, Pattern(resumed, 100000)) << c.Name;
        EXPECT_TRUE(rig.Errors.empty()) << c.Name;
    }
}

// The system device (the null back end, which plays in real time): here
// the notification thread, not a render call, reports the played buffers.
TEST(WaveOutLifecycle, SystemDeviceEndsTheSongThroughItsNotificationThread)
{
    TVirtualClock clock;
    TCountingSource source(8000);
    TMMWaveOut out(clock);
    out.SetNumBuffers(3);
    source.SetOutput(&out);
    std::vector<uint8_t> queued;
    int stops = 0;
    out.SetOnBufferQueued([&](const uint8_t* d, uint32_t n) { queued.insert(queued.end(), d, d + n); });
    out.SetOnStop([&](TMMCustomWaveOutComponent&) { ++stops; });
    out.Start();
    for (int round = 0; round < 200000 && out.Playing(); ++round) {
        clock.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(out.Playing());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(queued, Pattern(0, 8000));
    int16_t mix[2];
    EXPECT_FALSE(out.RenderLoopback(mix, 1));
}

// A device that plays one buffer each time it is asked, and that a test can
// hold in the middle of the notification thread's sweep (the output's lock
// held). What it sees is shared with the test, because the output owns it.
struct TScript {
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<int> Queue;
    int Loads = 0;
    bool Open = false;
    bool HoldNextSweep = false;
    bool Holding = false;

    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(Lock);
            Holding = false;
        }
        Changed.notify_all();
    }
};

class TScriptedStream : public IWaveStream {
public:
    explicit TScriptedStream(std::shared_ptr<TScript> script) : m_script(std::move(script)) { SetOpen(true); }
    ~TScriptedStream() override { SetOpen(false); }

    void Load(int, const uint8_t*, uint32_t) override
    {
        std::lock_guard<std::mutex> lock(m_script->Lock);
        ++m_script->Loads;
    }
    void Enqueue(int buffer) override
    {
        std::lock_guard<std::mutex> lock(m_script->Lock);
        m_script->Queue.push_back(buffer);
    }
    void TakePlayed(std::vector<int>& played) override
    {
        played.clear();
        std::unique_lock<std::mutex> lock(m_script->Lock);
        if (m_script->HoldNextSweep) {
            m_script->HoldNextSweep = false;
            m_script->Holding = true;
            m_script->Changed.notify_all();
            m_script->Changed.wait_for(lock, std::chrono::seconds(10), [this] { return !m_script->Holding; });
        }
        if (!m_script->Queue.empty()) {
            played.push_back(m_script->Queue.front());
            m_script->Queue.pop_front();
        }
    }
    bool Stopped() override { return false; }
    void Play() override {}
    void Pause() override {}
    void Drop() override
    {
        std::lock_guard<std::mutex> lock(m_script->Lock);
        m_script->Queue.clear();
    }
    bool Render(int16_t*, int) override { return false; }

private:
    void SetOpen(bool open)
    {
        std::lock_guard<std::mutex> lock(m_script->Lock);
        m_script->Open = open;
    }
    std::shared_ptr<TScript> m_script;
};

class TScriptedBackend : public IWaveStreamBackend {
public:
    explicit TScriptedBackend(std::shared_ptr<TScript> script) : m_script(std::move(script)) {}
    std::vector<std::string> DeviceNames() override { return {"Scripted"}; }
    std::string DefaultDeviceName() override { return "Scripted"; }
    std::unique_ptr<IWaveStream> Open(const std::string&, const WAVEFORMATEX&, int) override
    {
        return std::make_unique<TScriptedStream>(m_script);
    }

private:
    std::shared_ptr<TScript> m_script;
};

// The output goes while its notification thread is held inside a sweep that
// reports a played buffer, and the user-interface thread runs the work
// posted for it afterwards. That work must find the output gone and do
// nothing. The destructor must also take the output's lock before it lets go
// of the token the sweep copies for each post: without it the two threads
// touch the token unordered. That race corrupts nothing visible here; a
// ThreadSanitizer build of this test reports it.
TEST(WaveOutThreads, DestroyedWhileTheNotificationThreadIsMidSweep)
{
    for (int round = 0; round < 3; ++round) {
        auto script = std::make_shared<TScript>();
        TVirtualClock clock;
        TCountingSource source(1000000);
        auto out = std::make_unique<TMMWaveOut>(clock, std::make_unique<TScriptedBackend>(script));
        out->SetNumBuffers(4);
        source.SetOutput(out.get());
        out->Start();
        {
            std::unique_lock<std::mutex> lock(script->Lock);
            script->HoldNextSweep = true;
            ASSERT_TRUE(script->Changed.wait_for(lock, std::chrono::seconds(10), [&] { return script->Holding; }));
        }
        // Let go of the sweep only once the destructor is under way.
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            script->Release();
        });
        out.reset();
        release.join();
        const int loads = script->Loads;
        EXPECT_EQ(loads, 4);
        EXPECT_FALSE(script->Open);
        clock.RunPosted();
        EXPECT_EQ(script->Loads, loads) << "a refill ran for a destroyed output";
    }
}

// The 3D mixer keeps its context current process-wide; the wave output only
// ever makes its own context current on its own threads, so that neither an
// open that fails half-way nor a song played through leaves the mixer
// without its context.
TEST(WaveOutThreads, TheProcessContextOfThe3DDeviceStays)
{
    TLoopbackBackend sound = CreateOpenAlLoopbackBackend();
    std::unique_ptr<ISoundDevice> device;
    ASSERT_EQ(sound.Backend->CreateDevice({}, device), DS_OK);
    ALCcontext* const context = alcGetCurrentContext();
    ASSERT_NE(context, nullptr);
    struct TCase {
        const char* Name;
        bool FailOpenAfterSource;
        std::string Error;
    };
    const TCase cases[] = {{"open fails after its source", true, "WaveOutOpen:\n\rOut of Memory"},
                           {"song played through", false, ""}};
    for (const TCase& c : cases) {
        TVirtualClock clock;
        TCountingSource source(20000);
        {
            TMMWaveOut out(clock, CreateOpenAlLoopbackWaveStreamBackend({c.FailOpenAfterSource}));
            source.SetOutput(&out);
            std::string error;
            try {
                out.Start();
                std::vector<int16_t> mix(512 * TMMWaveOut::LoopbackChannels);
                for (int round = 0; round < 1000 && out.Playing(); ++round) {
                    out.RenderLoopback(mix.data(), 512);
                    clock.RunPosted();
                }
                EXPECT_EQ(out.PlayedBytes(), 20000u) << c.Name;
            } catch (const EMMWaveOutError& e) {
                error = e.what();
            }
            EXPECT_EQ(error, c.Error) << c.Name;
            EXPECT_EQ(alcGetCurrentContext(), context) << c.Name;
        }
        EXPECT_EQ(alcGetCurrentContext(), context) << c.Name << ", after the output went";
    }
}

} // namespace
