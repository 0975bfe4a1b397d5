// ambitone-tool render-scheme DATA_DIR TITLE OUT.(wav|flac|ogg): a stored
// scheme played from its start by the scheduler and rendered offline
// (render/scheme_render.h), with one line per scheduler event and the usual
// Name=value summary.
#include "base/error.h"
#include "render/scheme_render.h"
#include "tool/commands.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kUsage = "Usage: ambitone-tool render-scheme DATA_DIR TITLE OUT.(wav|flac|ogg) [--seconds S] "
                           "[--start HH:MM:SS.mmm] [--headphones] [--sleep-after S]\n";

// "HH:MM:SS" or "HH:MM:SS.mmm" to milliseconds since midnight.
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

const char* EventName(TPlaybackEvent event)
{
    switch (event) {
    case TPlaybackEvent::Fire:
        return "fire";
    case TPlaybackEvent::Repeat:
        return "repeat";
    case TPlaybackEvent::End:
        return "end";
    }
    return "?";
}

TSchemeRenderOptions ParseSchemeOptions(const std::vector<std::string>& args)
{
    TSchemeRenderOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw EAmbitoneError("ambitone-tool: " + a + " needs a value\n" + kUsage);
            return args[++i];
        };
        if (a == "--seconds") {
            options.Seconds = ParseSecondsOption(value(), kLongestRenderSeconds);
        } else if (a == "--start") {
            options.StartMs = ParseTimeOfDay(value());
        } else if (a == "--headphones") {
            options.Headphones = true;
        } else if (a == "--sleep-after") {
            options.SleepAfter = ParseSecondsOption(value(), kLongestRenderSeconds);
        } else if (a.rfind("--", 0) == 0) {
            throw EAmbitoneError("ambitone-tool: unknown option " + a + "\n" + kUsage);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3)
        throw EAmbitoneError(kUsage);
    options.DataDir = positional[0];
    options.Title = positional[1];
    options.Out = positional[2];
    if (options.Out.empty())
        throw EAmbitoneError(kUsage);
    return options;
}

} // namespace

int RunRenderSchemeCommand(const std::vector<std::string>& args)
{
    TSchemeRenderOptions options = ParseSchemeOptions(args);
    options.OnEvent = [](int64_t ms, int row, TPlaybackEvent event) {
        std::printf("t=%lld.%03lld row=%d event=%s\n", static_cast<long long>(ms / 1000),
                    static_cast<long long>(ms % 1000), row, EventName(event));
    };
    const TSchemeRenderResult r = RenderScheme(options);
    std::printf("Title=%s\nRows=%d\nSkippedRows=%d\nLoopLength=%d\nSampleRate=%d\nChannels=%d\nFrames=%lld\n"
                "Seconds=%.3f\nHeadphones=%s\nFires=%d\nRepeats=%d\nEnds=%d\nPeak=%d\n",
                options.Title.c_str(), r.Rows, r.Skipped, r.LoopLength, r.SampleRate, r.Channels,
                static_cast<long long>(r.Frames), r.Milliseconds / 1000.0, options.Headphones ? "true" : "false",
                r.Fires, r.Repeats, r.Ends, r.Peak);
    return 0;
}
