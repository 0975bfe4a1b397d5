#pragma once
// The one clock of the engine. Every engine timer (the mixer's end poll, the
// level clock, the scheduler's second, the motion tick) and every reading of
// the time goes through IClock, so that tests and offline rendering can run
// time by hand with TVirtualClock while the program runs on real timers.
//
// Contract: timers are started, stopped and fire on the user-interface
// thread, except those started with TTimerThread::Background, whose ticks run
// on a thread of the clock's own; such a tick may only touch state under its
// own lock and hand work to the user-interface thread with Post. Post may be
// called from any thread; posted work runs on the user-interface thread in
// the order posted. A tick or posted work that raises propagates to whoever
// runs the clock (the window's error guard, or the caller of Advance).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

enum class TTimerThread { UserInterface, Background };

class IClock {
public:
    using TTimerId = int;
    virtual ~IClock() = default;

    // A periodic timer; the first tick comes one interval after the start.
    TTimerId StartTimer(int intervalMs, std::function<void()> tick,
                        TTimerThread thread = TTimerThread::UserInterface)
    {
        return StartTimerOn(thread, intervalMs, std::move(tick));
    }
    virtual TTimerId StartTimerOn(TTimerThread thread, int intervalMs, std::function<void()> tick) = 0;
    // Stopping an unknown or stopped timer does nothing. A timer may stop
    // itself from its own tick.
    virtual void StopTimer(TTimerId id) = 0;
    virtual void Post(std::function<void()> work) = 0;
    // Milliseconds since midnight of the current UTC day.
    virtual int64_t MillisecondsSinceMidnightUtc() = 0;
    // Milliseconds on a steady clock (any origin).
    virtual int64_t SteadyMilliseconds() = 0;
};

// Time that moves only when told. Advance runs, in time order, every tick
// that falls due (ticks due at the same moment in the order their timers were
// started) and then the posted work; background timers tick on the calling
// thread, so a run is deterministic.
class TVirtualClock : public IClock {
public:
    explicit TVirtualClock(int64_t startMsSinceMidnightUtc = 0) : m_wallStart(startMsSinceMidnightUtc) {}

    TTimerId StartTimerOn(TTimerThread thread, int intervalMs, std::function<void()> tick) override;
    void StopTimer(TTimerId id) override;
    void Post(std::function<void()> work) override;
    int64_t MillisecondsSinceMidnightUtc() override;
    int64_t SteadyMilliseconds() override { return m_now; }

    // Moves time on by ms, firing every tick due on the way.
    void Advance(int64_t ms);
    // Runs the work posted so far (and any it posts in turn).
    void RunPosted();
    int64_t Now() const { return m_now; }
    bool IsRunning(TTimerId id) const { return m_timers.count(id) != 0; }
    size_t TimerCount() const { return m_timers.size(); }

private:
    struct TTimer {
        int Interval;
        int64_t Due;
        std::function<void()> Tick;
    };
    int64_t m_now = 0;
    int64_t m_wallStart;
    int m_nextId = 1;
    std::map<TTimerId, TTimer> m_timers;
    std::mutex m_postLock;
    std::vector<std::function<void()>> m_posted;
};

// The clock the engine uses when none is given: set once by the program (a
// Qt clock) or by a test; a TVirtualClock until then.
IClock& DefaultClock();
void SetDefaultClock(IClock* clock);
