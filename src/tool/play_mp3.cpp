// ambitone-tool play-mp3 FILE: a song through the music page's chain, the
// MPEG source, the gain stage and the wave output, on the sound card or,
// with --out, on a loopback device whose received PCM is written out (WAV,
// FLAC or Ogg Vorbis by the name's extension).
#include "base/clock.h"
#include "base/error.h"
#include "tool/commands.h"
#include "music/mpeg_file.h"
#include "music/volume.h"
#include "music/wave_out.h"
#include "render/sound_file_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: ambitone-tool play-mp3 FILE [--seconds S] [--seek FRAME] [--volume V] [--out OUT.(wav|flac|ogg)]\n";

struct TPlayOptions {
    std::string In;
    std::string Out;
    std::optional<double> Seconds;
    std::optional<int32_t> Seek;
    int32_t Volume = 16384; // unity
};

long ParseInteger(const std::string& option, const std::string& text, long low, long high)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        throw EAmbitoneError("ambitone-tool: " + option + " must be a whole number from " + std::to_string(low) +
                             " to " + std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

TPlayOptions ParsePlayOptions(const std::vector<std::string>& args)
{
    TPlayOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw EAmbitoneError("ambitone-tool: " + a + " needs a value\n" + kUsage);
            return args[++i];
        };
        if (a == "--seconds") {
            options.Seconds = ParseSecondsOption(value());
        } else if (a == "--seek") {
            options.Seek = static_cast<int32_t>(ParseInteger(a, value(), 0, 100000000));
        } else if (a == "--volume") {
            options.Volume = static_cast<int32_t>(ParseInteger(a, value(), 0, 32768));
        } else if (a == "--out") {
            options.Out = value();
        } else if (a.rfind("--", 0) == 0) {
            throw EAmbitoneError("ambitone-tool: unknown option " + a + "\n" + kUsage);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1)
        throw EAmbitoneError(kUsage);
    options.In = positional[0];
    if (!options.Out.empty())
        DetectSoundFileFormat(options.Out); // refused before the song plays
    return options;
}

// A song longer than this is given up, so that a stuck output cannot hang
// the tool.
constexpr double kLongestSeconds = 3 * 3600.0;

} // namespace

int RunPlayMp3Command(const std::vector<std::string>& args)
{
    const TPlayOptions options = ParsePlayOptions(args);
    // The wave output hands its refills to this thread through the clock.
    TVirtualClock clock;
    TMMMPEGFile source;
    TMMVolume volume;
    TMMWaveOut output(clock, options.Out.empty() ? TWaveOutDevice::System : TWaveOutDevice::Loopback);
    source.SetOutput(&volume);
    volume.SetOutput(&output);
    volume.SetVolume(options.Volume);

    source.SetFileName(options.In);
    if (source.Empty())
        throw EAmbitoneError("ambitone-tool: " + options.In + " holds no MPEG audio stream");
    if (options.Seek)
        source.SetPosition(*options.Seek);

    std::vector<uint8_t> received;
    bool stopped = false;
    output.SetOnBufferQueued([&](const uint8_t* data, uint32_t size) { received.insert(received.end(), data, data + size); });
    output.SetOnStop([&](TMMCustomWaveOutComponent&) { stopped = true; });

    const WAVEFORMATEX* format = volume.WaveFormat();
    const uint32_t bytesPerSecond = format ? format->nAvgBytesPerSec : 0;
    const double limit = options.Seconds.value_or(kLongestSeconds);
    output.Start();
    if (options.Out.empty()) {
        std::printf("ProductName=%s\n", output.ProductName().c_str());
        std::fflush(stdout);
        const auto started = std::chrono::steady_clock::now();
        while (output.Playing()) {
            clock.RunPosted();
            const std::chrono::duration<double> played = std::chrono::steady_clock::now() - started;
            if (played.count() >= limit)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } else {
        // Rendered in steps of 10 ms of the stream's own time.
        const int stepFrames = static_cast<int>(format ? format->nSamplesPerSec / 100 : 441);
        std::vector<int16_t> mix(static_cast<size_t>(stepFrames) * TMMWaveOut::LoopbackChannels);
        for (double rendered = 0; output.Playing() && rendered < limit; rendered += 0.01) {
            output.RenderLoopback(mix.data(), stepFrames);
            clock.RunPosted();
        }
    }
    const bool ended = stopped && !output.Playing();
    if (output.Playing())
        output.Stop();
    output.Close();

    if (!options.Out.empty()) {
        if (!format)
            throw EAmbitoneError("ambitone-tool: the output received no format");
        if (format->wBitsPerSample != 16 || format->nBlockAlign == 0)
            throw EAmbitoneError("ambitone-tool: the output received no 16-bit PCM");
        // The MPEG source hands on whole frames only.
        const int64_t frames = static_cast<int64_t>(received.size() / format->nBlockAlign);
        TSoundFileWriter writer(options.Out, format->nChannels, static_cast<int>(format->nSamplesPerSec), frames);
        writer.Write(reinterpret_cast<const int16_t*>(received.data()), frames);
        writer.Commit();
    }
    std::printf("FileName=%s\nFrames=%d\nSampleRate=%d\nChannels=%d\nBitRate=%d\nBytes=%zu\nSeconds=%.3f\n"
                "Ended=%s\n",
                source.FileName().c_str(), static_cast<int>(source.Frames()), static_cast<int>(source.SampleRate()),
                static_cast<int>(source.Channels()), static_cast<int>(source.BitRate()), received.size(),
                bytesPerSecond ? double(received.size()) / bytesPerSecond : 0.0, ended ? "true" : "false");
    return 0;
}
