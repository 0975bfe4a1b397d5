#include "tool/scheme_render.h"

#include "audio/backends/sound_backend.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "playback/random_source.h"
#include "playback/scheme_session.h"
#include "playback/sleep_timer.h"
#include "store/database.h"
#include "store/table.h"
#include "tool/wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

// The engine's timers read the default clock where none is handed to them.
class TDefaultClockScope {
public:
    explicit TDefaultClockScope(IClock& clock) { SetDefaultClock(&clock); }
    ~TDefaultClockScope() { SetDefaultClock(nullptr); }
    TDefaultClockScope(const TDefaultClockScope&) = delete;
    TDefaultClockScope& operator=(const TDefaultClockScope&) = delete;
};

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
    // Declared in the order they must be made; they go in reverse, the
    // session's channels before the mixer before the device.
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend(kRate, kChannels, options.Headphones);
    TMMDSWaveMixer mixer(*loopback.Backend, clock);
    ApplyMainMixerSettings(mixer);
    TSchemeSession session(mixer, clock);
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
    TTable data(database, "SchemeData");
    TTable sounds(database, "SoundCatalog");
    data.Open();
    sounds.Open();
    const TSchemeRowsLoaded loaded = session.LoadScheme(data, sounds, scheme.RecordNo);
    result.Rows = loaded.Built;
    result.Skipped = loaded.Skipped;

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
    // Ticks every render step, so that the fade is as smooth as the render.
    TSleepTimer sleep(
        clock, [&](float gain) { mixer.Sound3D().SetGain(gain); }, [&] { scheduler.Stop(); }, kStepMs);
    if (options.SleepAfter)
        sleep.Start(std::llround(*options.SleepAfter * 1000));

    ILoopbackRenderer& renderer = *loopback.Renderer;
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
