#include "audio/level_connector.h"

#include "audio/level_source.h"
#include "audio/wave.h"
#include "audio/wave_format.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

namespace {

// Round to nearest, halves to even, as the gain is defined.
int32_t RoundHalfEven(double x)
{
    const double floor = std::floor(x);
    const double fraction = x - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        result += 1.0;
    return static_cast<int32_t>(result);
}

// The loudest sample seen, the first one winning a tie; 8-bit samples are
// compared by their distance from 128 and kept scaled to 16 bits.
struct TPeak {
    int32_t Value = 0;
    int32_t Magnitude = 0;

    void Consider(const uint8_t* sample, int containerBytes)
    {
        int32_t value = 0;
        int32_t magnitude = 0;
        if (containerBytes == 1) {
            const int32_t offset = int32_t(sample[0]) - 128;
            magnitude = std::abs(offset);
            value = offset * 255;
        } else {
            // Wider samples are read by their top 16 bits, so that every
            // bit length shows on the same 0 .. 32768 scale.
            value = static_cast<int16_t>(sample[containerBytes - 2] | sample[containerBytes - 1] << 8);
            magnitude = std::abs(value);
        }
        if (magnitude > Magnitude) {
            Magnitude = magnitude;
            Value = value;
        }
    }
};

std::mutex& ConnectorsLock()
{
    static std::mutex lock;
    return lock;
}

// Every connector of the process, for the channels and displays that leave.
std::set<TMMDSChannelConnector*>& Connectors()
{
    static std::set<TMMDSChannelConnector*> connectors;
    return connectors;
}

std::mutex& LevelClocksLock()
{
    static std::mutex lock;
    return lock;
}

std::map<IClock*, std::weak_ptr<TLevelClock>>& LevelClocks()
{
    static std::map<IClock*, std::weak_ptr<TLevelClock>> clocks;
    return clocks;
}

std::atomic<uint64_t> g_nextToken{1};

} // namespace

TMMLevels GetLevels(ILevelSource& channel, int32_t intervalMs)
{
    const TMMWave& wave = channel.LevelWave();
    const WAVEFORMATEX* format = wave.FormatPtr();
    if (!wave.IsMemoryWave() || wave.DataSize() == 0 || !format || format->wFormatTag != WAVE_FORMAT_PCM ||
        !channel.IsPlaying() || channel.Muted())
        return {};
    const uint8_t* data = wave.SampleData();
    const int channels = format->nChannels;
    const int containerBytes = (format->wBitsPerSample + 7) / 8;
    const int frameBytes = format->nBlockAlign;
    const int samplesRead = channels == 1 ? 1 : 2;
    // A layout whose samples do not fit its frames is not read at all.
    if (!data || channels == 0 || containerBytes == 0 || frameBytes < containerBytes * samplesRead)
        return {};

    int64_t windowBytes = 0;
    try {
        windowBytes = WaveMsToBytes(*format, intervalMs);
    } catch (const EMMWaveError&) {
        return {}; // an interval beyond 32 bits of bytes is longer than any data
    }
    int64_t cursor = channel.PlayCursor();
    if (windowBytes < 0 || cursor + windowBytes >= int64_t(wave.DataBytes()))
        return {};
    // A cursor inside a frame would read the halves of two samples as one.
    cursor -= cursor % frameBytes;

    TPeak left;
    TPeak right;
    for (int64_t offset = cursor; offset < cursor + windowBytes; offset += frameBytes) {
        const uint8_t* frame = data + offset;
        left.Consider(frame, containerBytes);
        if (samplesRead == 2)
            right.Consider(frame + containerBytes, containerBytes);
    }
    if (samplesRead == 1)
        right = left;

    // Volume and pan beyond the channel's ranges would take the gains out of
    // 0 .. 16384.
    const int32_t volume = std::clamp(channel.Volume(), -10000, 0);
    const int32_t panning = std::clamp(channel.Panning(), -10000, 10000);
    const int32_t gain = RoundHalfEven(16384.0 * std::pow(10.0, volume / 2000.0));
    const int32_t pan = static_cast<int32_t>(int64_t(65536) * panning / 20000);
    const int32_t leftGain = pan > 0 ? MulDivRound(gain, 32768 - pan, 32768) : gain;
    const int32_t rightGain = pan <= 0 ? MulDivRound(gain, 32768 + pan, 32768) : gain;

    TMMLevels levels;
    levels.Left = MulDivRound(std::abs(left.Value), leftGain, 16384);
    levels.Right = MulDivRound(std::abs(right.Value), rightGain, 16384);
    levels.Mean = (levels.Left + levels.Right) / 2;
    return levels;
}

TMMLevelDisplay::~TMMLevelDisplay()
{
    std::lock_guard<std::mutex> guard(ConnectorsLock());
    for (TMMDSChannelConnector* connector : Connectors())
        connector->DisplayDestroyed(this);
}

// --- TLevelClock ---

TLevelClock::TLevelClock(IClock& clock) : m_clock(clock) {}

TLevelClock::~TLevelClock()
{
    // Not under m_lock: stopping a background timer waits for a running
    // period, which takes that lock.
    m_clock.StopTimer(m_timer);
    std::lock_guard<std::mutex> guard(LevelClocksLock());
    auto entry = LevelClocks().find(&m_clock);
    if (entry != LevelClocks().end() && entry->second.expired())
        LevelClocks().erase(entry);
}

std::shared_ptr<TLevelClock> TLevelClock::Acquire(IClock& clock)
{
    std::lock_guard<std::mutex> guard(LevelClocksLock());
    std::weak_ptr<TLevelClock>& slot = LevelClocks()[&clock];
    if (std::shared_ptr<TLevelClock> running = slot.lock())
        return running;
    std::shared_ptr<TLevelClock> created(new TLevelClock(clock));
    // Started once shared, so that a period can always name its clock in
    // the work it posts.
    created->m_timer = clock.StartTimer(Period, [raw = created.get()] { raw->Tick(); }, TTimerThread::Background);
    slot = created;
    return created;
}

std::shared_ptr<TLevelClock> LevelClock(IClock& clock)
{
    std::lock_guard<std::mutex> guard(LevelClocksLock());
    auto entry = LevelClocks().find(&clock);
    return entry == LevelClocks().end() ? nullptr : entry->second.lock();
}

size_t TLevelClock::ConnectorCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connectors.size();
}

void TLevelClock::Register(TMMDSChannelConnector& connector)
{
    std::lock_guard<std::mutex> guard(m_lock);
    connector.m_token = g_nextToken++;
    m_connectors[connector.m_token] = &connector;
}

void TLevelClock::Unregister(TMMDSChannelConnector& connector)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_connectors.erase(connector.m_token);
}

void TLevelClock::Tick()
{
    std::vector<uint64_t> due;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto& [token, connector] : m_connectors) {
            if (connector->m_suspended)
                continue;
            connector->m_count += Period;
            if (connector->m_count < std::max(connector->m_interval, Period))
                continue;
            connector->m_count = 0;
            // Only one trigger waits per connector: a busy user-interface
            // thread skips levels rather than catching up on stale ones.
            if (connector->m_enabled && connector->m_ready) {
                connector->m_ready = false;
                due.push_back(token);
            }
        }
    }
    if (due.empty())
        return;
    const std::weak_ptr<TLevelClock> self = weak_from_this();
    for (uint64_t token : due)
        m_clock.Post([self, token] {
            if (std::shared_ptr<TLevelClock> levelClock = self.lock())
                levelClock->RunTrigger(token);
        });
}

void TLevelClock::RunTrigger(uint64_t token)
{
    TMMDSChannelConnector* connector = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto entry = m_connectors.find(token);
        if (entry == m_connectors.end())
            return; // destroyed while its trigger waited
        connector = entry->second;
    }
    // Not under the lock: the trigger may create or destroy connectors.
    // When it raises, ready stays cleared and this connector posts no more.
    connector->Trigger();
    std::lock_guard<std::mutex> guard(m_lock);
    auto entry = m_connectors.find(token);
    if (entry != m_connectors.end())
        entry->second->m_ready = true;
}

// --- TMMDSChannelConnector ---

TMMDSChannelConnector::TMMDSChannelConnector(IClock& clock) : m_levelClock(TLevelClock::Acquire(clock))
{
    m_levelClock->Register(*this);
    std::lock_guard<std::mutex> guard(ConnectorsLock());
    Connectors().insert(this);
}

TMMDSChannelConnector::~TMMDSChannelConnector()
{
    {
        std::lock_guard<std::mutex> guard(ConnectorsLock());
        m_channel = nullptr;
        Connectors().erase(this);
    }
    m_levelClock->Unregister(*this);
    // The last connector of a clock stops it here.
    m_levelClock.reset();
}

void TMMDSChannelConnector::SetChannel(ILevelSource* channel)
{
    std::lock_guard<std::mutex> guard(ConnectorsLock());
    m_channel = channel;
}

void TMMDSChannelConnector::ChannelDestroyed(const ILevelSource* channel)
{
    std::lock_guard<std::mutex> guard(ConnectorsLock());
    for (TMMDSChannelConnector* connector : Connectors())
        if (connector->m_channel == channel)
            connector->m_channel = nullptr;
}

void TMMDSChannelConnector::DisplayDestroyed(const TMMLevelDisplay* display)
{
    for (TMMLevelDisplay** slot : {&m_level1, &m_level2, &m_meter1, &m_meter2})
        if (*slot == display)
            *slot = nullptr;
}

void TMMDSChannelConnector::SetLevel1(TMMLevelDisplay* display)
{
    SetDisplay(m_level1, m_level2, display);
}

void TMMDSChannelConnector::SetLevel2(TMMLevelDisplay* display)
{
    SetDisplay(m_level2, m_level1, display);
}

void TMMDSChannelConnector::SetMeter1(TMMLevelDisplay* display)
{
    SetDisplay(m_meter1, m_meter2, display);
}

void TMMDSChannelConnector::SetMeter2(TMMLevelDisplay* display)
{
    SetDisplay(m_meter2, m_meter1, display);
}

void TMMDSChannelConnector::SetDisplay(TMMLevelDisplay*& slot, TMMLevelDisplay*& partner, TMMLevelDisplay* display)
{
    if (slot == display)
        return;
    if (display && partner == display)
        partner = nullptr;
    slot = display;
    DisplaysChanged();
}

void TMMDSChannelConnector::DisplaysChanged()
{
    for (TMMLevelDisplay* display : {m_level1, m_level2, m_meter1, m_meter2})
        if (display)
            display->SetBitLength(16);
    if (m_suspended)
        Trigger();
}

void TMMDSChannelConnector::SetInterval(int32_t intervalMs)
{
    if (intervalMs <= 0)
        throw EMMLevelConnectorError("Interval should be > 0");
    std::lock_guard<std::mutex> guard(m_levelClock->m_lock);
    m_interval = intervalMs;
    m_count = 0;
}

void TMMDSChannelConnector::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    {
        std::lock_guard<std::mutex> guard(m_levelClock->m_lock);
        m_enabled = enabled;
    }
    DisplaysChanged();
}

void TMMDSChannelConnector::SetAutoTrigger(bool autoTrigger)
{
    std::lock_guard<std::mutex> guard(m_levelClock->m_lock);
    m_suspended = !autoTrigger;
}

TMMLevels TMMDSChannelConnector::GetLevels() const
{
    return m_channel ? ::GetLevels(*m_channel, m_interval) : TMMLevels{};
}

void TMMDSChannelConnector::Trigger()
{
    const TMMLevels levels = GetLevels();
    if (m_level1)
        m_level1->SetValue(m_level2 ? levels.Left : levels.Mean);
    if (m_level2)
        m_level2->SetValue(levels.Right);
    if (m_meter1)
        m_meter1->SetValue(m_meter2 ? levels.Left : levels.Mean);
    if (m_meter2)
        m_meter2->SetValue(levels.Right);
    // A copy: the handler may destroy this connector, and its own function
    // with it.
    if (TTriggerEvent handler = m_onTrigger)
        handler(*this);
}
