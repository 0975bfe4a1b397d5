#include "base/clock.h"

#include <limits>

IClock::TTimerId TVirtualClock::StartTimerOn(TTimerThread, int intervalMs, std::function<void()> tick)
{
    TTimerId id = m_nextId++;
    int interval = intervalMs > 0 ? intervalMs : 1;
    m_timers[id] = TTimer{interval, m_now + interval, std::move(tick)};
    return id;
}

void TVirtualClock::StopTimer(TTimerId id)
{
    m_timers.erase(id);
}

void TVirtualClock::Post(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_postLock);
    m_posted.push_back(std::move(work));
}

int64_t TVirtualClock::MillisecondsSinceMidnightUtc()
{
    return (m_wallStart + m_now) % (24LL * 60 * 60 * 1000);
}

void TVirtualClock::RunPosted()
{
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(m_postLock);
            batch.swap(m_posted);
        }
        if (batch.empty())
            return;
        for (size_t i = 0; i < batch.size(); ++i) {
            try {
                batch[i]();
            } catch (...) {
                // What was posted after the failing work still runs later,
                // ahead of anything posted since.
                std::lock_guard<std::mutex> lock(m_postLock);
                m_posted.insert(m_posted.begin(), std::make_move_iterator(batch.begin() + i + 1),
                                std::make_move_iterator(batch.end()));
                throw;
            }
        }
    }
}

void TVirtualClock::Advance(int64_t ms)
{
    const int64_t end = m_now + ms;
    for (;;) {
        // The earliest due timer; equal times go by start order (ids rise).
        TTimerId next = 0;
        int64_t due = std::numeric_limits<int64_t>::max();
        for (const auto& [id, timer] : m_timers)
            if (timer.Due < due) {
                due = timer.Due;
                next = id;
            }
        if (next == 0 || due > end)
            break;
        m_now = due;
        TTimer& timer = m_timers.at(next);
        timer.Due += timer.Interval;
        // Copy: the tick may stop or restart its own timer.
        std::function<void()> tick = timer.Tick;
        tick();
        RunPosted();
    }
    m_now = end;
    RunPosted();
}

namespace {
IClock* g_defaultClock = nullptr;
}

IClock& DefaultClock()
{
    static TVirtualClock fallback;
    return g_defaultClock ? *g_defaultClock : fallback;
}

void SetDefaultClock(IClock* clock)
{
    g_defaultClock = clock;
}
