#pragma once
// The scheme scheduler: a loop of whole seconds in which each row fires when
// its period has passed and its channel is silent, repeats in bursts after
// natural ends, is re-timed at random after each firing, and moves along its
// pattern while it sounds. It keeps the transport values the window shows
// (loop position, play time, gauge) and tells of every change.
//
// Contract: user-interface thread only; both timers run on the given clock
// (the scheduler's second, PlayTimer, and the 100 ms motion tick,
// PatternTime, which runs from construction until the first Stop or scheme
// change and afterwards only while playing). Errors of a channel raised in a
// tick leave that tick where they happen and propagate to whoever runs the
// clock; the timer keeps running.

#include "playback/playback_row.h"
#include "playback/random_source.h"

#include <cstdint>
#include <functional>
#include <vector>

class IClock;

enum class TPlaybackEvent { Fire, Repeat, End };

class TScheduler {
public:
    static constexpr int PlayInterval = 1000;
    static constexpr int PatternInterval = 100;

    explicit TScheduler(IClock& clock, TRandomSource& random = ProcessRandom());
    ~TScheduler();
    TScheduler(const TScheduler&) = delete;
    TScheduler& operator=(const TScheduler&) = delete;

    // The rows in their panel order; not owned. Replaced whole when a scheme
    // is loaded or a row is added or removed.
    void SetRows(std::vector<TPlaybackRow*> rows) { m_rows = std::move(rows); }
    const std::vector<TPlaybackRow*>& Rows() const { return m_rows; }

    // L, in seconds: the display holds 0..999.
    int LoopLength() const { return m_loopLength; }
    void SetLoopLength(int seconds);

    // Transport values.
    int LoopPosition() const { return m_loopPosition; }
    int LoopCount() const { return m_loopCount; }      // the 3-digit display
    int PlayTime() const { return m_playTime; }        // the display holds at 99999
    int GaugePercent() const { return m_gauge; }       // 0..100; 0 for a loop of 0
    bool Playing() const { return m_playTimer != 0; }  // PlayTimer enabled
    bool PlayButtonDown() const { return m_buttonDown; }
    bool MotionRunning() const { return m_patternTimer != 0; }

    void Play();                               // PlaySchemeExecute
    void Stop();                               // StopSchemeExecute
    void Tick();                               // PlayTimerTimer
    void MotionTimerTick();                    // PatternTimeTimer
    // The end of a play of row `row`'s channel; only a play that ran out
    // (ranOut) leads to the repeat logic.
    void ChannelEndPlay(int row, bool ranOut);
    // tag 1 increases the loop by 60 seconds, tag 2 decreases it.
    void ChangeLoopLength(int tag);
    void PlayRow(int row);                     // PlaySchemeSampleExecute
    // Another scheme was selected: both timers off, the button up, every
    // display 0, L from the scheme.
    void SchemeSelected(int loopLength);
    // The open scheme's row was read again (the Schemes cursor moved): L
    // from it, the loop position and every display 0; the timers and the
    // Play button stay as they are.
    void ResetLoop(int loopLength);
    // The user moved row `row`'s slider while playing (not the scheduler's
    // own moves): the period follows, 100 loops and plays, below 100 stops.
    void SliderMovedWhilePlaying(int row);

    // Told after every change of the transport values or of the timers.
    std::function<void()> OnTransportChanged;
    // A row's slider or period display changed (randomize, loop length,
    // Stop): its view repaints, which erases any progress bar.
    std::function<void(int row)> OnRowChanged;
    // Each tick, for a row whose channel is not looping: the progress bar
    // covers elapsed / period of the slider (the view clamps it; period may
    // be 0 only with a loop below 50).
    std::function<void(int row, int elapsed, int period)> OnRowProgress;
    // Firings, replays and burst ends, with the seconds played.
    std::function<void(int row, TPlaybackEvent event)> OnEvent;
    // After every motion tick (the location graph may repaint).
    std::function<void()> OnMotionTick;

private:
    void StartPlayTimer();
    void StopTimers();
    void Changed();
    void Fire(int index, TPlaybackRow& row);

    IClock& m_clock;
    TRandomSource& m_random;
    std::vector<TPlaybackRow*> m_rows;
    int m_loopLength = 60;
    int m_loopPosition = 0;
    int m_loopCount = 0; // what LoopCount shows: LoopPosition before the wrap
    int m_playTime = 0;
    int m_gauge = 0;
    bool m_buttonDown = false;
    int m_playTimer = 0;    // timer id, 0 when disabled
    int m_patternTimer = 0; // timer id, 0 when disabled
};
