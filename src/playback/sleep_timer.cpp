#include "playback/sleep_timer.h"

#include <algorithm>
#include <utility>

TSleepTimer::TSleepTimer(IClock& clock, std::function<void(float gain)> setGain, std::function<void()> stop,
                         int tickMs)
    : m_clock(clock), m_setGain(std::move(setGain)), m_stop(std::move(stop)), m_tickMs(std::max(tickMs, 1))
{
}

TSleepTimer::~TSleepTimer()
{
    m_clock.StopTimer(m_timer);
}

void TSleepTimer::Start(int64_t afterMs)
{
    m_clock.StopTimer(m_timer);
    SetGain(1.0f);
    m_endMs = m_clock.SteadyMilliseconds() + std::max<int64_t>(afterMs, 0);
    m_timer = m_clock.StartTimer(m_tickMs, [this] { Tick(); });
    if (OnChanged)
        OnChanged();
}

void TSleepTimer::Cancel()
{
    m_clock.StopTimer(m_timer);
    m_timer = 0;
    SetGain(1.0f);
    if (OnChanged)
        OnChanged();
}

int64_t TSleepTimer::RemainingMs() const
{
    return Running() ? std::max<int64_t>(m_endMs - m_clock.SteadyMilliseconds(), 0) : 0;
}

void TSleepTimer::SetGain(float gain)
{
    if (gain == m_gain)
        return;
    m_gain = gain;
    if (m_setGain)
        m_setGain(gain);
}

void TSleepTimer::Tick()
{
    const int64_t remaining = m_endMs - m_clock.SteadyMilliseconds();
    if (remaining <= 0) {
        // Silent first, then stopped, then the level back for the next Play.
        m_clock.StopTimer(m_timer);
        m_timer = 0;
        SetGain(0.0f);
        if (m_stop)
            m_stop();
        SetGain(1.0f);
    } else if (remaining < FadeMs) {
        SetGain(static_cast<float>(remaining) / FadeMs);
    }
    if (OnChanged)
        OnChanged();
}
