#include "tool/scheme_render.h"

#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "playback/mix_channel_adapter.h"
#include "playback/playback_row.h"
#include "playback/random_source.h"
#include "store/database.h"
#include "store/table.h"
#include "tool/wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// The mix and the clock move on together in steps of 10 ms, so that the
// mixer's 50 ms end poll, the scheduler's second and the 100 ms motion tick
// fall where they would live.
constexpr int64_t kStepMs = 10;
constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kLongestSeconds = 3600;

struct TSchemeRecord {
    int32_t RecordNo = 0;
    int LoopPeriod = 0;
};

TSchemeRecord FindScheme(TDatabase& database, const std::string& title)
{
    TTable schemes(database, "Schemes");
    schemes.Open();
    const int name = schemes.ColumnIndex("Name");
    std::optional<TBookmark> found;
    schemes.ForEachRow([&](const TRowView& row) {
        if (!found && row.Text(name) == title)
            found = row.Bookmark();
    });
    if (!found)
        throw EAmbitoneError("ambitone-tool: no scheme titled \"" + title + "\"");
    schemes.GotoBookmark(*found);
    return {schemes.FieldByName("RecordNo").AsInteger(), schemes.FieldByName("LoopPeriod").AsInteger()};
}

// One row as the window builds it: its channel on the mixer, the record,
// and the adapter the scheduler plays it through.
struct TRenderRow {
    std::unique_ptr<TMMDSMixChannel> Channel;
    std::unique_ptr<TMixChannelAdapter> Adapter;
    TPlaybackRow Record;
};

// Fills the record from the current SchemeData row (the random draw of a
// randomized repeat target comes from the process generator, in row order).
void FillRecord(TTable& data, int loopLength, TPlaybackRow& row)
{
    row.SliderPosition = SliderFromStoredFreq(data.FieldByName("Freq").AsInteger());
    row.Randomize = data.FieldByName("Randomize").AsBoolean();
    row.Elapsed = 0;
    // The columns are 64-bit; the record holds single precision.
    row.CoordX = static_cast<float>(data.FieldByName("CoordX").AsFloat());
    row.CoordY = static_cast<float>(data.FieldByName("CoordY").AsFloat());
    row.CoordZ = static_cast<float>(data.FieldByName("CoordZ").AsFloat());
    row.Pattern = data.FieldByName("Pattern").AsInteger();
    row.PatternSpeed = data.FieldByName("PatternSpeed").AsInteger();
    row.ReversePattern = data.FieldByName("ReversePattern").AsBoolean();
    row.RepeatMethod = data.FieldByName("RepeatPatten").AsInteger();
    row.RepeatCount = static_cast<uint16_t>(data.FieldByName("Repeat").AsInteger());
    row.RepeatsDone = 0;
    row.RepeatTarget = FreshRepeatTarget(row.RepeatMethod, row.RepeatCount);
    UpdatePeriodDisplay(row, loopLength);
}

// Everything one render holds, torn down in an order that lets every end
// report reach a live scheduler: channels, then scheduler and mixer.
class TSchemeSession {
public:
    TSchemeSession(const TSchemeRenderOptions& options, TVirtualClock& clock)
        : m_loopback(CreateOpenAlLoopbackBackend(kRate, kChannels, options.Headphones)),
          m_mixer(std::make_unique<TMMDSWaveMixer>(*m_loopback.Backend, clock)),
          m_scheduler(std::make_unique<TScheduler>(clock))
    {
        ApplyMainMixerSettings(*m_mixer);
    }

    ~TSchemeSession()
    {
        try {
            m_scheduler->Stop();
        } catch (...) {
            // Teardown goes on: the channels still have to close the device.
        }
        m_scheduler->SetRows({});
        m_rows.clear();
        m_scheduler.reset();
        m_mixer.reset();
    }
    TSchemeSession(const TSchemeSession&) = delete;
    TSchemeSession& operator=(const TSchemeSession&) = delete;

    TScheduler& Scheduler() { return *m_scheduler; }
    ILoopbackRenderer& Renderer() { return *m_loopback.Renderer; }
    size_t RowCount() const { return m_rows.size(); }

    void AddRow(TTable& data, TTable& sounds, int loopLength)
    {
        auto row = std::make_unique<TRenderRow>();
        row->Channel = std::make_unique<TMMDSMixChannel>(m_mixer.get());
        // The rows' channels face +Z like every channel made at run time;
        // only the preview faces the other way.
        ApplyChannelSettings(*row->Channel, 1);
        std::unique_ptr<std::istream> image = sounds.CreateBlobReadStream("Sound");
        row->Channel->Wave().LoadFromStream(*image);
        row->Channel->SetTag(static_cast<int>(m_rows.size()));
        TScheduler* scheduler = m_scheduler.get();
        row->Channel->SetOnPlayEnd([scheduler](TMMDSMixChannel& sender, TMMDSPlayEnd reason) {
            scheduler->ChannelEndPlay(sender.Tag(), reason == TMMDSPlayEnd::peFinished);
        });
        row->Adapter = std::make_unique<TMixChannelAdapter>(*row->Channel);
        FillRecord(data, loopLength, row->Record);
        row->Record.Channel = row->Adapter.get();
        m_rows.push_back(std::move(row));
    }

    void UseRows()
    {
        std::vector<TPlaybackRow*> records;
        for (auto& row : m_rows)
            records.push_back(&row->Record);
        m_scheduler->SetRows(std::move(records));
    }

private:
    TLoopbackBackend m_loopback;
    std::unique_ptr<TMMDSWaveMixer> m_mixer;
    std::unique_ptr<TScheduler> m_scheduler;
    std::vector<std::unique_ptr<TRenderRow>> m_rows;
};

// The engine's timers read the default clock where none is handed to them.
class TDefaultClockScope {
public:
    explicit TDefaultClockScope(IClock& clock) { SetDefaultClock(&clock); }
    ~TDefaultClockScope() { SetDefaultClock(nullptr); }
    TDefaultClockScope(const TDefaultClockScope&) = delete;
    TDefaultClockScope& operator=(const TDefaultClockScope&) = delete;
};

// Builds the scheme's rows in SchemeData order; a scheme sample whose sound
// is gone is passed over and left in the store.
int BuildRows(TDatabase& database, const TSchemeRecord& scheme, TSchemeSession& session)
{
    TTable data(database, "SchemeData");
    TTable sounds(database, "SoundCatalog");
    data.Open();
    sounds.Open();
    data.SetFiltered(true);
    data.SetFilter("SchemeNo = " + std::to_string(scheme.RecordNo));
    const int loopLength = session.Scheduler().LoopLength();
    int skipped = 0;
    for (data.First(); !data.IsEmpty() && !data.Eof(); data.Next()) {
        const TBookmark sound{data.FieldByName("SoundNo").AsInteger()};
        if (!sound.IsValid() || !sounds.BookmarkValid(sound)) {
            ++skipped;
            continue;
        }
        sounds.GotoBookmark(sound);
        session.AddRow(data, sounds, loopLength);
    }
    return skipped;
}

} // namespace

int64_t ParseTimeOfDay(const std::string& text)
{
    auto digits = [&](size_t at, size_t count) {
        int value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (i >= text.size() || text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const bool withMs = text.size() == 12;
    const bool shapeOk =
        (text.size() == 8 || withMs) && text[2] == ':' && text[5] == ':' && (!withMs || text[8] == '.');
    const int hours = shapeOk ? digits(0, 2) : -1, minutes = shapeOk ? digits(3, 2) : -1;
    const int seconds = shapeOk ? digits(6, 2) : -1, ms = !shapeOk ? -1 : withMs ? digits(9, 3) : 0;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 || ms < 0)
        throw EAmbitoneError("ambitone-tool: --start takes HH:MM:SS.mmm (UTC), not \"" + text + "\"");
    return ((hours * 60LL + minutes) * 60 + seconds) * 1000 + ms;
}

TSchemeRenderResult RenderScheme(const TSchemeRenderOptions& options)
{
    TDatabase database;
    database.SetDirectory(options.DataDir);
    // Connecting would create an empty store; this reader only opens one.
    if (!std::filesystem::is_regular_file(database.FilePath()))
        throw EAmbitoneError("ambitone-tool: no record store at " + database.FilePath().string());
    const TSchemeRecord scheme = FindScheme(database, options.Title);

    TVirtualClock clock(options.StartMs);
    TDefaultClockScope defaultClock(clock);
    TSchemeSession session(options, clock);
    TScheduler& scheduler = session.Scheduler();
    scheduler.SchemeSelected(scheme.LoopPeriod);

    TSchemeRenderResult result;
    result.LoopLength = scheduler.LoopLength();
    const double seconds = options.Seconds.value_or(result.LoopLength);
    if (!(seconds > 0 && seconds <= kLongestSeconds))
        throw EAmbitoneError(options.Seconds ? "ambitone-tool: --seconds must lie in (0, 3600]"
                                             : "ambitone-tool: the scheme's loop length is " +
                                                   std::to_string(result.LoopLength) + " s; give --seconds");
    const int64_t totalMs = std::llround(seconds * 1000);

    ProcessRandom().Reseed(clock);
    result.Skipped = BuildRows(database, scheme, session);
    result.Rows = static_cast<int>(session.RowCount());
    session.UseRows();

    const int64_t playMs = clock.Now();
    scheduler.OnEvent = [&](int row, TPlaybackEvent event) {
        switch (event) {
        case TPlaybackEvent::Fire:
            ++result.Fires;
            break;
        case TPlaybackEvent::Repeat:
            ++result.Repeats;
            break;
        case TPlaybackEvent::End:
            ++result.Ends;
            break;
        }
        if (options.OnEvent)
            options.OnEvent(clock.Now() - playMs, row, event);
    };
    scheduler.Play();

    ILoopbackRenderer& renderer = session.Renderer();
    result.SampleRate = renderer.SampleRate();
    result.Channels = renderer.Channels();
    auto framesAt = [&](int64_t ms) { return ms * result.SampleRate / 1000; };
    std::vector<int16_t> output(static_cast<size_t>(framesAt(totalMs) * result.Channels));
    for (int64_t t = 0; t < totalMs; t += kStepMs) {
        const int64_t step = std::min(kStepMs, totalMs - t);
        const int64_t from = framesAt(t), to = framesAt(t + step);
        renderer.Render(output.data() + from * result.Channels, static_cast<int>(to - from));
        clock.Advance(step);
    }
    scheduler.OnEvent = nullptr;

    result.Frames = framesAt(totalMs);
    result.Milliseconds = totalMs;
    for (int16_t s : output)
        result.Peak = std::max(result.Peak, std::abs(static_cast<int>(s)));
    if (!options.Out.empty()) {
        const TWaveFormat format =
            TWaveFormat::Pcm(static_cast<uint16_t>(result.Channels), static_cast<uint32_t>(result.SampleRate), 16);
        WritePcmWaveFile(options.Out, format, reinterpret_cast<const uint8_t*>(output.data()),
                         static_cast<uint32_t>(output.size() * sizeof(int16_t)));
    }
    return result;
}
