#include "render/scheme_render.h"

#include "audio/backends/sound_backend.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "playback/random_source.h"
#include "playback/scheme_session.h"
#include "playback/sleep_timer.h"
#include "render/sound_file_writer.h"
#include "store/database.h"
#include "store/table.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The mix and the clock move on together in steps of 10 ms, so that the
// mixer's 50 ms end poll, the scheduler's second and the 100 ms motion tick
// fall where they would live.
constexpr int64_t kStepMs = 10;
// The mix goes to the file, and progress is told, a second at a time.
constexpr int64_t kChunkMs = 1000;
constexpr int kRate = 44100;
constexpr int kChannels = 2;

struct TSchemeRecord {
    int32_t RecordNo = 0;
    int LoopPeriod = 0;
};

TSchemeRecord FindScheme(TDatabase& database, const TSchemeRenderOptions& options)
{
    TTable schemes(database, "Schemes");
    schemes.Open();
    const int name = schemes.ColumnIndex("Name"), recordNo = schemes.ColumnIndex("RecordNo");
    std::optional<TBookmark> found;
    schemes.ForEachRow([&](const TRowView& row) {
        if (!found && (options.SchemeNo ? row.Integer(recordNo) == *options.SchemeNo : row.Text(name) == options.Title))
            found = row.Bookmark();
    });
    if (!found)
        throw EAmbitoneError(options.SchemeNo ? "There is no scheme numbered " + std::to_string(*options.SchemeNo)
                                              : "There is no scheme titled \"" + options.Title + "\"");
    schemes.GotoBookmark(*found);
    return {schemes.FieldByName("RecordNo").AsInteger(), schemes.FieldByName("LoopPeriod").AsInteger()};
}

} // namespace

TSchemeRenderResult RenderScheme(const TSchemeRenderOptions& options)
{
    // A name the writer would refuse fails before anything is rendered.
    if (!options.Out.empty())
        DetectSoundFileFormat(options.Out);
    TDatabase database;
    database.SetDirectory(options.DataDir);
    // Connecting would create an empty store; this reader only opens one.
    if (!std::filesystem::is_regular_file(database.FilePath()))
        throw EAmbitoneError("There is no record store at " + database.FilePath().string());
    const TSchemeRecord scheme = FindScheme(database, options);

    // Before the session, which reports to it until its end.
    TSchemeRenderResult result;
    TVirtualClock clock(options.StartMs);
    // The render's own generator: the window's scheme, playing meanwhile,
    // draws from the process's, and neither may move the other's numbers.
    TRandomSource random;
    // Declared in the order they must be made; they go in reverse, the
    // session's channels before the mixer before the device.
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend(kRate, kChannels, options.Headphones);
    TMMDSWaveMixer mixer(*loopback.Backend, clock);
    // The mixer tells the device what it renders for as it opens it.
    mixer.SetHeadphones(options.Headphones);
    if (options.Headphones) {
        // A device that cannot render for headphones says why before
        // anything is rendered; closed again, it opens at Play as ever.
        try {
            mixer.OpenDevice();
        } catch (const std::exception&) {
            const std::string why = loopback.Backend->HeadphonesUnavailable();
            if (why.empty())
                throw;
            std::string message("Headphones (3D audio) are not available: ");
            message += why;
            throw EAmbitoneError(message);
        }
        mixer.CloseDevice();
    }
    ApplyMainMixerSettings(mixer);
    TSchemeSession session(mixer, clock, random);
    TScheduler& scheduler = session.Scheduler();
    scheduler.SchemeSelected(scheme.LoopPeriod);

    result.LoopLength = scheduler.LoopLength();
    const double seconds = options.Seconds.value_or(result.LoopLength);
    if (!(seconds > 0 && seconds <= kLongestRenderSeconds))
        throw EAmbitoneError(options.Seconds ? "The length of a render must lie in (0, 36000] seconds"
                                             : "The scheme's loop length is " + std::to_string(result.LoopLength) +
                                                   " s; give the length to render");
    const int64_t totalMs = std::llround(seconds * 1000);

    random.Reseed(clock);
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
    result.Frames = framesAt(totalMs);
    result.Milliseconds = totalMs;

    std::optional<TSoundFileWriter> writer;
    if (!options.Out.empty())
        writer.emplace(options.Out, result.Channels, result.SampleRate, result.Frames);
    // A second of steps, whose frame counts may round either way.
    std::vector<int16_t> chunk(static_cast<size_t>((framesAt(kChunkMs) + 1) * result.Channels));
    int64_t chunkFrames = 0;
    for (int64_t t = 0; t < totalMs;) {
        if (options.Cancel && options.Cancel->load()) {
            if (writer)
                writer->Discard();
            throw ERenderCancelled();
        }
        const int64_t step = std::min(kStepMs, totalMs - t);
        const int64_t frames = framesAt(t + step) - framesAt(t);
        renderer.Render(chunk.data() + chunkFrames * result.Channels, static_cast<int>(frames));
        chunkFrames += frames;
        clock.Advance(step);
        t += step;
        if (t % kChunkMs != 0 && t != totalMs)
            continue;
        const auto end = chunk.begin() + chunkFrames * result.Channels;
        for (auto s = chunk.begin(); s != end; ++s)
            result.Peak = std::max(result.Peak, std::abs(static_cast<int>(*s)));
        if (writer)
            writer->Write(chunk.data(), chunkFrames);
        chunkFrames = 0;
        if (options.OnProgress && t < totalMs)
            options.OnProgress(static_cast<double>(t) / static_cast<double>(totalMs));
    }
    scheduler.OnEvent = nullptr;
    if (writer)
        writer->Commit();
    // Done once the file is in its place.
    if (options.OnProgress)
        options.OnProgress(1.0);
    return result;
}
