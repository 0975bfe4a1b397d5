#include "playback/scheduler.h"

#include "base/clock.h"
#include "playback/motion.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int MaxLoopLength = 999; // the 3-digit loop length display
constexpr int MaxPlayTime = 99999; // the 5-digit play time display
constexpr int LoopStep = 60;

int ClampSlider(int position)
{
    return std::clamp(position, 0, 100);
}

// What a natural end of a play asks of the row's repeat method: whether the
// channel plays again. The counters are 16-bit and wrap; the "- 1" tests are
// made on integers so that a count or target of 0 never matches.
bool RepeatAgain(TPlaybackRow& row, TRandomSource& random)
{
    const int done = row.RepeatsDone;
    const int target = row.RepeatTarget;
    bool burstOver;
    switch (row.RepeatMethod) {
    case 1: // normal
        burstOver = done == row.RepeatCount - 1;
        if (burstOver)
            row.RepeatsDone = 0;
        break;
    case 2: // increment
        burstOver = done == target;
        if (burstOver) {
            ++row.RepeatTarget;
            row.RepeatsDone = 0;
            if (row.RepeatTarget == row.RepeatCount)
                row.RepeatTarget = 0;
        }
        break;
    case 3: // decrement
        burstOver = done == target - 1;
        if (burstOver) {
            --row.RepeatTarget;
            row.RepeatsDone = 0;
            if (row.RepeatTarget == 0)
                row.RepeatTarget = row.RepeatCount;
        }
        break;
    case 4: // randomize
        burstOver = done == target;
        if (burstOver) {
            row.RepeatTarget = static_cast<uint16_t>(random.Random(row.RepeatCount));
            row.RepeatsDone = 0;
        }
        break;
    default: // no repeat, or a method this version does not know
        return false;
    }
    return !burstOver;
}

} // namespace

TScheduler::TScheduler(IClock& clock, TRandomSource& random) : m_clock(clock), m_random(random)
{
    // The motion tick runs from start-up, so that a row played by hand
    // before the first Play moves along its pattern.
    m_patternTimer = m_clock.StartTimer(PatternInterval, [this] { MotionTimerTick(); });
}

TScheduler::~TScheduler()
{
    StopTimers();
}

void TScheduler::SetLoopLength(int seconds)
{
    m_loopLength = std::clamp(seconds, 0, MaxLoopLength);
    Changed();
}

void TScheduler::Play()
{
    if (m_playTimer != 0) {
        // A click on the button that is already down must leave it down.
        m_buttonDown = true;
        Changed();
        return;
    }
    m_buttonDown = true;
    StartPlayTimer();
    Changed();
    for (TPlaybackRow* row : m_rows) {
        IPlaybackChannel* channel = row->Channel;
        if (channel == nullptr)
            continue;
        channel->SetPositionX(row->CoordX);
        channel->SetPositionY(row->CoordY);
        channel->SetPositionZ(row->CoordZ);
        if (row->SliderPosition == 100) {
            channel->SetLooping(true);
            channel->Play();
        }
    }
}

void TScheduler::Stop()
{
    m_buttonDown = false;
    StopTimers();
    Changed();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (IPlaybackChannel* channel = m_rows[i]->Channel) {
            channel->Stop();
            channel->SetLooping(false);
        }
        if (OnRowChanged)
            OnRowChanged(static_cast<int>(i));
    }
    m_loopPosition = 0;
    m_loopCount = 0;
    m_gauge = 0;
    m_playTime = 0;
    Changed();
}

void TScheduler::Tick()
{
    m_random.Reseed(m_clock);

    ++m_loopPosition;
    m_loopCount = std::min(m_loopPosition, MaxLoopLength);
    // The counter itself stops at what its display can show.
    m_playTime = std::min(m_playTime + 1, MaxPlayTime);
    if (m_loopLength > 0)
        m_gauge = static_cast<int>(std::clamp<int64_t>(
            RoundHalfEven(static_cast<long double>(int64_t(m_loopPosition) * 100) / m_loopLength), 0, 100));
    else
        m_gauge = 0; // a loop of 0 has no fraction done
    Changed();

    // Rows added while the tick runs wait for the next one; rows taken away
    // end it.
    const size_t count = m_rows.size();
    for (size_t i = 0; i < count && i < m_rows.size(); ++i) {
        TPlaybackRow& row = *m_rows[i];
        const int index = static_cast<int>(i);
        if (row.Elapsed < std::numeric_limits<int32_t>::max())
            ++row.Elapsed;
        IPlaybackChannel* channel = row.Channel;
        if (channel == nullptr)
            continue;
        const int period = PeriodFromSlider(row.SliderPosition, m_loopLength);
        if (!channel->Looping() && OnRowProgress)
            OnRowProgress(index, row.Elapsed, period);
        // A loop of 0 admits no displayed period, so nothing fires then.
        const bool due = row.PeriodDisplay > 0 && row.PeriodDisplay < m_loopLength && row.Elapsed >= period;
        if (due && !channel->IsPlaying())
            Fire(index, row);
    }

    if (m_loopPosition >= m_loopLength) {
        m_loopPosition = 0;
        Changed();
    }
}

void TScheduler::Fire(int index, TPlaybackRow& row)
{
    IPlaybackChannel& channel = *row.Channel;
    // Each pass starts again from home.
    if (row.Pattern == 2)
        channel.SetPositionZ(row.CoordZ);
    else if (row.Pattern == 3)
        channel.SetPositionX(row.CoordX);
    channel.Play();
    // A displayed period of 1 admits no wait above 0 below it: the slider
    // stays where it is rather than drawing for ever.
    if (row.Randomize && row.PeriodDisplay > 1) {
        uint32_t e = 0;
        while (e == 0)
            e = m_random.Random(static_cast<uint32_t>(row.PeriodDisplay));
        row.SliderPosition = ClampSlider(100 - static_cast<int>(e));
    }
    if (OnRowChanged)
        OnRowChanged(index);
    row.Elapsed = 0;
    if (OnEvent)
        OnEvent(index, TPlaybackEvent::Fire);
}

void TScheduler::MotionTimerTick()
{
    MotionTick(m_rows, m_loopLength);
    if (OnMotionTick)
        OnMotionTick();
}

void TScheduler::ChannelEndPlay(int row, bool ranOut)
{
    // A stop is not an end: nothing replays a channel that was silenced.
    if (!ranOut || row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    TPlaybackRow& record = *m_rows[row];
    if (record.Channel != nullptr && RepeatAgain(record, m_random)) {
        record.Channel->Play();
        ++record.RepeatsDone;
        if (OnEvent)
            OnEvent(row, TPlaybackEvent::Repeat);
        return;
    }
    if (OnEvent)
        OnEvent(row, TPlaybackEvent::End);
}

void TScheduler::ChangeLoopLength(int tag)
{
    const int before = m_loopLength;
    if (tag == 1) {
        m_loopLength = std::min(before + LoopStep, MaxLoopLength);
    } else if (tag == 2) {
        if (before - LoopStep < LoopStep) {
            m_loopLength = LoopStep;
            Changed();
            return;
        }
        m_loopLength = before - LoopStep;
    } else {
        return;
    }
    Changed();

    for (size_t i = 0; i < m_rows.size(); ++i) {
        TPlaybackRow& row = *m_rows[i];
        const int position = row.SliderPosition;
        // The row keeps its fraction of the loop; a loop of 0 had none, so
        // the slider's own position stands for it.
        if (before > 0)
            row.SliderPosition = ClampSlider(
                100 - static_cast<int>(RoundHalfEven(static_cast<long double>(int64_t(row.PeriodDisplay) * 100) / before)));
        UpdatePeriodDisplay(row, m_loopLength);
        row.SliderPosition = position; // a position moved by Randomize survives
        if (OnRowChanged)
            OnRowChanged(static_cast<int>(i));
    }
}

void TScheduler::PlayRow(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size() || m_rows[row]->Channel == nullptr)
        return;
    m_rows[row]->Channel->Play();
}

void TScheduler::SchemeSelected(int loopLength)
{
    StopTimers();
    m_buttonDown = false;
    ResetLoop(loopLength);
}

void TScheduler::ResetLoop(int loopLength)
{
    m_loopPosition = 0;
    m_loopCount = 0;
    m_playTime = 0;
    m_gauge = 0;
    m_loopLength = std::clamp(loopLength, 0, MaxLoopLength);
    Changed();
}

void TScheduler::SliderMovedWhilePlaying(int row)
{
    if (!m_buttonDown || row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    TPlaybackRow& record = *m_rows[row];
    UpdatePeriodDisplay(record, m_loopLength);
    if (IPlaybackChannel* channel = record.Channel) {
        if (record.SliderPosition == 100) {
            channel->SetLooping(true);
            channel->Play(); // each further move at 100 starts it again
        } else {
            channel->SetLooping(false);
            channel->Stop();
        }
    }
    record.Elapsed = 0;
    if (OnRowChanged)
        OnRowChanged(row);
}

void TScheduler::StartPlayTimer()
{
    if (m_playTimer == 0)
        m_playTimer = m_clock.StartTimer(PlayInterval, [this] { Tick(); });
    if (m_patternTimer == 0)
        m_patternTimer = m_clock.StartTimer(PatternInterval, [this] { MotionTimerTick(); });
}

void TScheduler::StopTimers()
{
    m_clock.StopTimer(m_playTimer);
    m_clock.StopTimer(m_patternTimer);
    m_playTimer = 0;
    m_patternTimer = 0;
}

void TScheduler::Changed()
{
    if (OnTransportChanged)
        OnTransportChanged();
}
