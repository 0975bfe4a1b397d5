// The scheme session on a real record store, the OpenAL Soft loopback device
// and the virtual clock: the rows a scheme gives, what the caller's tables
// look like afterwards, teardown while sounds end, and rows added later.
#include "playback/scheme_session.h"

#include "audio/backends/sound_backend.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "store/table.h"

#include "scheme_store.h"
#include "support/wave_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TEventSeen {
    int64_t Ms;
    int Row;
    TPlaybackEvent Event;
};

class SchemeSession : public ::testing::Test {
protected:
    SchemeSession()
        : m_loopback(CreateOpenAlLoopbackBackend()),
          m_mixer(std::make_unique<TMMDSWaveMixer>(*m_loopback.Backend, m_clock))
    {
        ApplyMainMixerSettings(*m_mixer);
        m_db.SetDirectory(m_dir.Path());
        CreateTables(m_db);
        m_session = std::make_unique<TSchemeSession>(*m_mixer, m_clock, m_random);
    }

    ~SchemeSession() override
    {
        m_session.reset();
        m_mixer.reset();
    }

    void OpenTables()
    {
        m_data.Open();
        m_sounds.Open();
    }

    // Plays the scheme's rows from the start of a loop of loopLength.
    void Play(int loopLength)
    {
        TScheduler& scheduler = m_session->Scheduler();
        scheduler.SchemeSelected(loopLength);
        scheduler.OnEvent = [this](int row, TPlaybackEvent event) { m_events.push_back({m_clock.Now(), row, event}); };
        scheduler.Play();
    }

    // Mixes and moves the clock on together in steps of 10 ms, as the
    // renderer does; returns the largest sample mixed.
    int Run(int64_t ms)
    {
        int peak = 0;
        std::vector<int16_t> out(441 * 2);
        for (int64_t t = 0; t < ms; t += 10) {
            m_loopback.Renderer->Render(out.data(), 441);
            for (int16_t s : out)
                peak = std::max(peak, std::abs(static_cast<int>(s)));
            m_clock.Advance(10);
        }
        return peak;
    }

    TScratchDir m_dir{"scheme-session"};
    TDatabase m_db;
    TTable m_data{m_db, "SchemeData"}, m_sounds{m_db, "SoundCatalog"};
    TVirtualClock m_clock;
    TRandomSource m_random;
    TLoopbackBackend m_loopback;
    std::unique_ptr<TMMDSWaveMixer> m_mixer;
    std::unique_ptr<TSchemeSession> m_session;
    std::vector<TEventSeen> m_events;
};

uint32_t ToneBytes(double seconds)
{
    return static_cast<uint32_t>(seconds * 22050) * 2;
}

} // namespace

TEST_F(SchemeSession, LoadsTheSchemesRowsInStoreOrderAndSkipsMissingSounds)
{
    // Scheme A's samples, with B's row and a sample whose sound is gone
    // between them.
    const int a = AddScheme(m_db, "A", 120), b = AddScheme(m_db, "B", 60);
    std::vector<int> aRows = AddRows(m_db, a, {{0, 50, false, 0, 0, 0, 1, 1.5, -2, 3, 0.3}, {4242, 50}});
    AddRows(m_db, b, {{0, 99}});
    for (int recordNo :
         AddRows(m_db, a, {{0, 75, true, 4, 5, 1, 3, 0.1, 0, -4, 0.4}, {0, 100, false, 0, 0, 0, 1, 0, 0, 2, 0.6}}))
        aRows.push_back(recordNo);
    OpenTables();
    m_sounds.Last();
    const TBookmark soundsAt = m_sounds.GetBookmark();
    m_session->Scheduler().SchemeSelected(120);
    m_random.SetState(12345);
    TRandomSource expectedDraws = m_random;

    const TSchemeRowsLoaded loaded = m_session->LoadScheme(m_data, m_sounds, a);

    EXPECT_EQ(loaded.Built, 3);
    EXPECT_EQ(loaded.Skipped, 1);
    struct TExpected {
        int DataRecord;
        double Seconds;
        int Slider, Period;
        float X, Z;
        int Pattern, RepeatMethod;
        uint16_t RepeatTarget;
    };
    const TExpected expected[] = {
        {aRows[0], 0.3, 50, 60, 1.5f, 3, 0, 0, 0},
        {aRows[2], 0.4, 75, 30, 0.1f, -4, 1, 4, static_cast<uint16_t>(expectedDraws.Random(5))},
        {aRows[3], 0.6, 100, 0, 0, 2, 0, 0, 0},
    };
    ASSERT_EQ(m_session->RowCount(), 3u);
    const std::vector<TPlaybackRow*>& scheduled = m_session->Scheduler().Rows();
    ASSERT_EQ(scheduled.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        TSchemeRow& row = m_session->Row(i);
        const TExpected& e = expected[i];
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(row.DataRecord().RecordNo, e.DataRecord);
        EXPECT_EQ(row.Channel().Wave().DataBytes(), ToneBytes(e.Seconds)) << "the row's own sound";
        EXPECT_EQ(row.Channel().Tag(), static_cast<int>(i)) << "end reports name the row";
        EXPECT_EQ(row.Record().SliderPosition, e.Slider);
        EXPECT_EQ(row.Record().PeriodDisplay, e.Period) << "on the scheduler's loop of 120 s";
        EXPECT_EQ(row.Record().CoordX, e.X);
        EXPECT_EQ(row.Record().CoordZ, e.Z);
        EXPECT_EQ(row.Record().Pattern, e.Pattern);
        EXPECT_EQ(row.Record().RepeatMethod, e.RepeatMethod);
        EXPECT_EQ(row.Record().RepeatTarget, e.RepeatTarget) << "drawn from the session's generator";
        EXPECT_EQ(scheduled[i], &row.Record());
        EXPECT_NE(row.Record().Channel, nullptr);
    }
    EXPECT_EQ(m_data.Filter(), "SchemeNo = " + std::to_string(a));
    EXPECT_TRUE(m_data.Filtered());
    EXPECT_EQ(m_data.GetBookmark().RecordNo, aRows[0]) << "on the scheme's first row";
    EXPECT_EQ(m_sounds.GetBookmark(), soundsAt) << "the catalogue's cursor is put back";

    // Loading again replaces the rows.
    EXPECT_EQ(m_session->LoadScheme(m_data, m_sounds, b).Built, 1);
    EXPECT_EQ(m_session->RowCount(), 1u);
    EXPECT_EQ(m_session->Scheduler().Rows().size(), 1u);
}

TEST_F(SchemeSession, LoadRowsTakesTheCallersFilterAndPutsItsCursorBack)
{
    const int a = AddScheme(m_db, "A", 60);
    const std::vector<int> rows = AddRows(m_db, a, {{0, 10}, {0, 20}, {0, 30}});
    AddRows(m_db, AddScheme(m_db, "B", 60), {{0, 40}});
    OpenTables();
    m_data.SetFiltered(true);
    m_data.SetFilter("SchemeNo = " + std::to_string(a));
    m_data.Next();

    EXPECT_EQ(m_session->LoadRows(m_data, m_sounds).Built, 3);
    EXPECT_EQ(m_session->Row(2).Record().SliderPosition, 30);
    EXPECT_EQ(m_data.GetBookmark().RecordNo, rows[1]);
    EXPECT_EQ(m_data.Filter(), "SchemeNo = " + std::to_string(a));
}

// Rows 0 and 1 fire every second in bursts of three plays of 0.5 s, so that
// some play has always just run out or is about to; row 2 loops. The session
// is cleared, or destroyed, at moments all around the end of a play and the
// mixer's 50 ms end poll.
TEST_F(SchemeSession, RemovingARowRenumbersTheLaterOnesAndTheirEndReports)
{
    const int a = AddScheme(m_db, "A", 60);
    AddRows(m_db, a, {{0, 0, false, 0, 0, 0, 1, 0, 0, 2, 0.3}, {0, 0, false, 0, 0, 0, 1, 0, 0, 2, 0.4},
                      {0, 0, false, 0, 0, 0, 1, 0, 0, 2, 0.2}});
    OpenTables();
    m_session->Scheduler().SchemeSelected(60);
    m_session->LoadScheme(m_data, m_sounds, a);
    TMMDSMixChannel* last = &m_session->Row(2).Channel();
    m_session->Scheduler().PlayRow(0);
    m_session->Scheduler().PlayRow(2);
    Run(100);
    m_session->Scheduler().OnEvent = [this](int row, TPlaybackEvent event) { m_events.push_back({m_clock.Now(), row, event}); };
    m_session->RemoveRow(0);
    ASSERT_EQ(m_session->RowCount(), 2u);
    EXPECT_EQ(&m_session->Row(1).Channel(), last);
    EXPECT_EQ(last->Tag(), 1);
    EXPECT_EQ(m_session->Scheduler().Rows().at(1), &m_session->Row(1).Record());
    EXPECT_TRUE(last->IsPlaying()); // the others play on
    Run(400); // the former row 2 ends on its own
    ASSERT_EQ(m_events.size(), 1u);
    EXPECT_EQ(m_events[0].Row, 1);
    EXPECT_EQ(m_events[0].Event, TPlaybackEvent::End);
}

TEST_F(SchemeSession, ClearOrTeardownWhileEndsAreInFlight)
{
    const int a = AddScheme(m_db, "A", 60);
    AddRows(m_db, a, {{0, 99, false, 1, 3}, {0, 99, false, 2, 3}, {0, 100}});
    OpenTables();
    const size_t timersWithoutSession = [&] {
        m_session.reset();
        return m_clock.TimerCount();
    }();
    for (bool destroy : {false, true}) {
        for (int64_t stopAt = 1400; stopAt <= 1700; stopAt += 20) {
            SCOPED_TRACE((destroy ? "destroyed at " : "cleared at ") + std::to_string(stopAt));
            m_session = std::make_unique<TSchemeSession>(*m_mixer, m_clock, m_random);
            m_events.clear();
            m_session->LoadScheme(m_data, m_sounds, a);
            Play(60);
            ASSERT_GT(Run(stopAt), 0);
            ASSERT_FALSE(m_events.empty()) << "the rows fired";
            if (destroy) {
                m_session.reset();
                EXPECT_EQ(m_clock.TimerCount(), timersWithoutSession) << "no timer of the session is left";
                continue;
            }
            const size_t before = m_events.size();
            m_session->Clear();
            EXPECT_EQ(m_session->RowCount(), 0u);
            EXPECT_TRUE(m_session->Scheduler().Rows().empty());
            EXPECT_FALSE(m_session->Scheduler().Playing());
            EXPECT_EQ(Run(2000), 0) << "silence after Clear";
            EXPECT_EQ(m_events.size(), before) << "no report reaches a dropped row";
        }
        // The mixer stays usable for the next session.
        m_session = std::make_unique<TSchemeSession>(*m_mixer, m_clock, m_random);
        m_events.clear();
        m_session->LoadScheme(m_data, m_sounds, a);
        Play(60);
        EXPECT_GT(Run(1100), 0);
        EXPECT_FALSE(m_events.empty());
    }
}

// A row added while the scheduler is stopped stays silent until Play, and is
// then fired at its period like a loaded one.
TEST_F(SchemeSession, ARowAddedWhileStoppedFiresAfterPlay)
{
    const int a = AddScheme(m_db, "A", 60);
    AddRows(m_db, a, {{0, 0}});
    OpenTables();
    m_session->Scheduler().SchemeSelected(60);
    // From an image first: the store's scheme keeps its one row for it.
    for (bool fromTables : {false, true}) {
        SCOPED_TRACE(fromTables ? "from the tables" : "from an image");
        m_session->LoadScheme(m_data, m_sounds, a);
        if (fromTables) {
            const std::vector<int> added = AddRows(m_db, a, {{0, 95}});
            m_data.Refresh();
            m_data.Last();
            m_sounds.Refresh();
            m_sounds.Last();
            EXPECT_EQ(m_session->AddRow(m_data, m_sounds).DataRecord().RecordNo, added[0]);
        } else {
            const std::vector<uint8_t> image = ToneImage(500, 0.5);
            std::istringstream stream(std::string(image.begin(), image.end()));
            TPlaybackRow record;
            record.SliderPosition = 95;
            record.CoordZ = 2;
            EXPECT_FALSE(m_session->AddRow(stream, record).DataRecord().IsValid());
        }
        ASSERT_EQ(m_session->RowCount(), 2u);
        EXPECT_EQ(m_session->Row(1).Record().PeriodDisplay, 3);
        EXPECT_EQ(m_session->Scheduler().Rows().at(1), &m_session->Row(1).Record());
        m_events.clear();
        EXPECT_EQ(Run(5000), 0) << "silent while stopped";

        Play(60);
        const int64_t playAt = m_clock.Now();
        EXPECT_GT(Run(3500), 0);
        ASSERT_FALSE(m_events.empty());
        EXPECT_EQ(m_events[0].Row, 1);
        EXPECT_EQ(m_events[0].Event, TPlaybackEvent::Fire);
        EXPECT_EQ(m_events[0].Ms - playAt, 3000);
        m_session->Scheduler().Stop();
    }
}

TEST_F(SchemeSession, DroppingTheRowsSilencesThemAndTheLoopPlaysOn)
{
    const int a = AddScheme(m_db, "A", 60);
    AddRows(m_db, a, {{0, 100}}); // looping from Play
    OpenTables();
    m_session->Scheduler().SchemeSelected(60);
    m_session->LoadScheme(m_data, m_sounds, a);
    Play(60);
    ASSERT_GT(Run(300), 1000);
    m_session->DropRows();
    EXPECT_EQ(m_session->RowCount(), 0u);
    EXPECT_TRUE(m_session->Scheduler().Rows().empty());
    EXPECT_LE(Run(300), 1);
    EXPECT_TRUE(m_session->Scheduler().Playing());
    Run(2000);
    EXPECT_EQ(m_session->Scheduler().LoopPosition(), 2);
}

TEST(SchemeSessionWithoutDevice, TheLoopAndTheRowsWorkAndNothingSounds)
{
    TVirtualClock clock;
    TSchemeSession session(clock);
    session.Scheduler().SchemeSelected(60);
    std::istringstream image(ToneWaveString(100));
    TPlaybackRow record;
    record.SliderPosition = 99;
    TSchemeRow& row = session.AddRow(image, record);
    int fires = 0;
    session.Scheduler().OnEvent = [&](int, TPlaybackEvent event) { fires += event == TPlaybackEvent::Fire; };
    session.Scheduler().Play();
    clock.Advance(3000);
    EXPECT_EQ(session.Scheduler().LoopPosition(), 3);
    EXPECT_GT(fires, 0);
    EXPECT_FALSE(row.Channel().IsPlaying());
    EXPECT_EQ(row.Channel().Wave().DataBytes(), 200u);
}

// With a release hook, the samples of dropped rows are handed to it whole,
// once per drop, instead of being freed on the spot.
TEST(SchemeSessionWithoutDevice, DroppedSamplesGoToTheReleaseHook)
{
    TVirtualClock clock;
    TSchemeSession session(clock);
    std::vector<std::shared_ptr<void>> handed;
    session.SetReleaseLater([&](std::shared_ptr<void> samples) { handed.push_back(std::move(samples)); });
    for (int frames : {100, 300}) {
        std::istringstream image(ToneWaveString(frames));
        session.AddRow(image, TPlaybackRow{});
    }
    session.DropRows();
    ASSERT_EQ(handed.size(), 1u);
    const auto& images = *static_cast<std::vector<std::unique_ptr<TMMMemoryStore>>*>(handed[0].get());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1]->Size(), ToneWaveString(300).size());
    session.DropRows(); // no rows, nothing to hand over
    EXPECT_EQ(handed.size(), 1u);
}
