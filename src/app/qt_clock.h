#pragma once
// The program's clock: window timers on the user-interface thread, a thread
// of its own for background timers (the level clock), and posting through
// the Qt event loop. With prompts set, every tick and every posted piece of
// work on the user-interface thread runs behind the error guard: what it
// raises is shown and the timer keeps running.

#include "base/clock.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <thread>

class IPrompts;
class QTimer;

class TQtClock : public QObject, public IClock {
public:
    explicit TQtClock(QObject* parent = nullptr);
    ~TQtClock() override;

    TTimerId StartTimerOn(TTimerThread thread, int intervalMs, std::function<void()> tick) override;
    // A background timer is never stopped from its own tick (stopping joins
    // its thread).
    void StopTimer(TTimerId id) override;
    void Post(std::function<void()> work) override;
    int64_t MillisecondsSinceMidnightUtc() override;
    int64_t SteadyMilliseconds() override;
    void SetPrompts(IPrompts* prompts) { m_prompts = prompts; }

private:
    void Run(const std::function<void()>& work) const;
    struct TBackgroundTimer;
    IPrompts* m_prompts = nullptr;
    int m_nextId = 1;
    std::map<TTimerId, QTimer*> m_uiTimers;
    std::map<TTimerId, std::unique_ptr<TBackgroundTimer>> m_backgroundTimers;
};
