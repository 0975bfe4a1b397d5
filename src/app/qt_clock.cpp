#include "app/qt_clock.h"

#include "ui/error_guard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <chrono>

// A periodic timer on a thread of its own, paced on the steady clock so
// that it does not drift with the load of the user-interface thread.
struct TQtClock::TBackgroundTimer {
    std::mutex Lock;
    std::condition_variable Wake;
    bool Stopping = false;
    std::thread Thread;

    TBackgroundTimer(int intervalMs, std::function<void()> tick)
    {
        Thread = std::thread([this, intervalMs, tick = std::move(tick)] {
            auto next = std::chrono::steady_clock::now();
            std::unique_lock<std::mutex> lock(Lock);
            for (;;) {
                next += std::chrono::milliseconds(intervalMs);
                if (Wake.wait_until(lock, next, [this] { return Stopping; }))
                    return;
                lock.unlock();
                tick();
                lock.lock();
            }
        });
    }

    ~TBackgroundTimer()
    {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Stopping = true;
        }
        Wake.notify_all();
        Thread.join();
    }
};

TQtClock::TQtClock(QObject* parent) : QObject(parent) {}

TQtClock::~TQtClock()
{
    m_backgroundTimers.clear();
}

IClock::TTimerId TQtClock::StartTimerOn(TTimerThread thread, int intervalMs, std::function<void()> tick)
{
    TTimerId id = m_nextId++;
    int interval = intervalMs > 0 ? intervalMs : 1;
    if (thread == TTimerThread::Background) {
        m_backgroundTimers[id] = std::make_unique<TBackgroundTimer>(interval, std::move(tick));
        return id;
    }
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, [this, tick = std::move(tick)] { Run(tick); });
    timer->start();
    m_uiTimers[id] = timer;
    return id;
}

void TQtClock::StopTimer(TTimerId id)
{
    if (auto ui = m_uiTimers.find(id); ui != m_uiTimers.end()) {
        ui->second->stop();
        ui->second->deleteLater(); // the timer may be stopping itself from its own tick
        m_uiTimers.erase(ui);
        return;
    }
    m_backgroundTimers.erase(id);
}

void TQtClock::Post(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, [this, work = std::move(work)] { Run(work); }, Qt::QueuedConnection);
}

void TQtClock::Run(const std::function<void()>& work) const
{
    // Without prompts, a failure goes on to the application's own guard.
    if (m_prompts)
        Guarded(m_prompts, work);
    else
        work();
}

int64_t TQtClock::MillisecondsSinceMidnightUtc()
{
    return QDateTime::currentDateTimeUtc().time().msecsSinceStartOfDay();
}

int64_t TQtClock::SteadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
