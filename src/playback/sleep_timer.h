#pragma once
// Falling asleep to a scheme: at the chosen time it stops as Stop does,
// after its last 30 seconds have faded out (the listener's gain falls
// linearly from 1 to 0; the system volume is never touched). Until the fade
// begins nothing is changed at all, so what plays before it is exactly what
// plays without a sleep timer.
//
// Contract: user-interface thread; the ticks run on the given clock.

#include "base/clock.h"

#include <cstdint>
#include <functional>

class TSleepTimer {
public:
    static constexpr int64_t FadeMs = 30000;

    // setGain: the scene's level, 0..1. stop: the scheme stops as Stop does.
    TSleepTimer(IClock& clock, std::function<void(float gain)> setGain, std::function<void()> stop,
                int tickMs = 100);
    ~TSleepTimer();
    TSleepTimer(const TSleepTimer&) = delete;
    TSleepTimer& operator=(const TSleepTimer&) = delete;

    // Stops `afterMs` from now (a fade shorter than 30 s when afterMs is).
    // A timer already running starts again, at full level.
    void Start(int64_t afterMs);
    // Off: the level is back at 1 and nothing stops.
    void Cancel();
    bool Running() const { return m_timer != 0; }
    int64_t RemainingMs() const;

    // After every tick and every start or cancel (a status line follows).
    std::function<void()> OnChanged;

private:
    void Tick();
    void SetGain(float gain);

    IClock& m_clock;
    std::function<void(float)> m_setGain;
    std::function<void()> m_stop;
    int m_tickMs;
    IClock::TTimerId m_timer = 0;
    int64_t m_endMs = 0; // steady time of the stop
    float m_gain = 1.0f; // as last set
};
