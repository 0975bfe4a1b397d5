#pragma once
// The open scheme as the engine plays it: one row per scheme sample, each
// with its channel on the mixer, the adapter the scheduler plays it through
// and its run-time record, and the scheduler that plays them. The main
// window and `ambitone-tool render-scheme` both play schemes through it.
//
// The session owns the scheduler (and so the one set of playback timers: the
// scheduler's second and the motion tick) and the rows; it borrows the mixer
// and the clock, which must outlive it. The loop length and the loop position
// live in the scheduler only. The scheduler's rows follow the session's at
// every change, in row order, and row i's channel carries the tag i.
//
// Teardown order: the scheduler stops, forgets the rows, the channels go,
// and only then the scheduler. A channel's destruction closes the mixer's
// device and so stops every other channel, whose end reports then still
// reach a live scheduler (which passes over stops).
//
// Contract: user-interface thread only, like the mixer and the scheduler.
// Errors of the store (EStoreError), the wave loader and the mixer pass
// through unchanged; rows built before the failure stay.

#include "audio/ds_channel.h"
#include "playback/mix_channel_adapter.h"
#include "playback/playback_row.h"
#include "playback/random_source.h"
#include "playback/scheduler.h"
#include "store/table.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <vector>

class IClock;
class TMMDSWaveMixer;

// One row of the session. Its address, its channel's and its record's stay
// put for as long as the row is in the session.
class TSchemeRow {
public:
    // Without a mixer the channel holds its sample and never sounds.
    explicit TSchemeRow(TMMDSWaveMixer* mixer);
    TSchemeRow(const TSchemeRow&) = delete;
    TSchemeRow& operator=(const TSchemeRow&) = delete;

    TMMDSMixChannel& Channel() { return *m_channel; }
    TPlaybackRow& Record() { return m_record; }
    const TPlaybackRow& Record() const { return m_record; }
    // The SchemeData row it was built from; no row for one added from an image.
    TBookmark DataRecord() const { return m_dataRecord; }

private:
    friend class TSchemeSession;
    std::unique_ptr<TMMDSMixChannel> m_channel;
    TMixChannelAdapter m_adapter;
    TPlaybackRow m_record;
    TBookmark m_dataRecord;
};

struct TSchemeRowsLoaded {
    int Built = 0;   // scheme samples whose sound exists, now rows
    int Skipped = 0; // scheme samples whose sound is gone (left in the store)
};

class TSchemeSession {
public:
    TSchemeSession(TMMDSWaveMixer& mixer, IClock& clock, TRandomSource& random = ProcessRandom());
    // Without a sound device: the scheduler, its loop and the rows work as
    // ever, and nothing sounds.
    explicit TSchemeSession(IClock& clock, TRandomSource& random = ProcessRandom());
    ~TSchemeSession();
    TSchemeSession(const TSchemeSession&) = delete;
    TSchemeSession& operator=(const TSchemeSession&) = delete;

    TScheduler& Scheduler() { return m_scheduler; }
    const TScheduler& Scheduler() const { return m_scheduler; }

    // Replaces the rows with the scheme's: the SchemeData rows whose SchemeNo
    // is schemeNo, in SchemeData order. Periods are worked out on the
    // scheduler's loop length, so tell the scheduler of the scheme
    // (SchemeSelected) first. A randomized repeat target is drawn from the
    // session's generator, row by row.
    // Leaves schemeData filtered to the scheme ("SchemeNo = <schemeNo>",
    // filtering on) with its cursor on its first row, as opening a scheme
    // leaves it; otherwise as LoadRows.
    TSchemeRowsLoaded LoadScheme(TTable& schemeData, TTable& sounds, int32_t schemeNo);
    // Replaces the rows with one per visible row of schemeData, as the
    // caller has filtered it. A row whose SoundNo names no row of sounds
    // visible through its filter is skipped, so pass sounds unfiltered. Both
    // cursors walk (posting any pending edit and raising AfterScroll on each
    // move) and are put back on the rows they were on.
    TSchemeRowsLoaded LoadRows(TTable& schemeData, TTable& sounds);

    // Adds a row at the end from the current rows of schemeData (the
    // settings) and sounds (the sample in its Sound blob); moves neither
    // cursor. A playing scheduler counts the row from its next tick (a row
    // at 100 starts looping at the next Play, as the others do).
    TSchemeRow& AddRow(TTable& schemeData, TTable& sounds);
    // Adds a row at the end playing the WAV image, with the given settings
    // (its Channel is the session's to set; the period display follows from
    // the slider and the scheduler's loop length).
    TSchemeRow& AddRow(std::istream& soundImage, const TPlaybackRow& record, TBookmark dataRecord = {});

    // Takes row `index` out: its channel stops and its wave is cleared (the
    // channel itself stays until the rows are dropped, so that the other
    // rows play on), and every later row moves up one place, its channel's
    // tag with it, so that their end reports reach the right rows.
    void RemoveRow(size_t index);
    // Stops the scheduler if it plays (its Stop: the channels silent, the
    // transport at 0) and drops every row with its channel.
    void Clear();
    // Drops every row with its channel (which silences it) and leaves the
    // scheduler as it is: a loop that plays goes on, with no rows, as it
    // does when the open scheme is written back and another is created.
    void DropRows();

    size_t RowCount() const { return m_rows.size(); }
    TSchemeRow& Row(size_t index) { return *m_rows.at(index); }
    const TSchemeRow& Row(size_t index) const { return *m_rows.at(index); }

    // Where dropped rows' samples go to be freed: handed the bytes, the
    // owner may free them later, once the user is no longer waiting (the
    // window does so from its event loop). Without it they are freed at once.
    using TReleaseLater = std::function<void(std::shared_ptr<void> samples)>;
    void SetReleaseLater(TReleaseLater releaseLater) { m_releaseLater = std::move(releaseLater); }

private:
    // A row whose wave `loadImage` fills; what it raises leaves no row.
    TSchemeRow& AddRow(const std::function<void(TMMWave&)>& loadImage, const TPlaybackRow& record,
                       TBookmark dataRecord);
    void FillRecord(TTable& schemeData, TPlaybackRow& record);
    void SyncRows();

    TMMDSWaveMixer* m_mixer;
    TRandomSource& m_random;
    // Before the rows, so that it outlives every channel's end report.
    TScheduler m_scheduler;
    std::vector<std::unique_ptr<TSchemeRow>> m_rows;
    std::vector<std::unique_ptr<TSchemeRow>> m_retired; // removed, silent, kept until the rows go
    TReleaseLater m_releaseLater;
};
