// ambitone-tool render IN OUT [options]: what the listener hears when IN
// plays on one channel of the main window's mixer, rendered offline on a
// loopback device at 44100 Hz, 16-bit stereo, written as WAV, FLAC or Ogg
// Vorbis by OUT's extension. ambitone-tool play IN: the same on the real
// output device, in real time.
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "render/sound_file_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The renderer works in steps of 10 ms: the mix and the mixer's timers move
// on together, so the end of a play is seen as it would be live.
constexpr int kStepMs = 10;

struct TRenderOptions {
    std::string In, Out;
    std::optional<double> Seconds;
    double X = 0, Y = 0, Z = 0;
    int Volume = 0;
    int Frequency = 0;
    bool Loop = false;
};

double ParseNumber(const std::string& text, const std::string& what)
{
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        throw EAmbitoneError("ambitone-tool: " + what + " is not a number: \"" + text + "\"");
    return value;
}

TRenderOptions ParseOptions(const std::vector<std::string>& args, size_t files, const char* usage)
{
    TRenderOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw EAmbitoneError(std::string("ambitone-tool: ") + a + " needs a value\n" + usage);
            return args[++i];
        };
        if (a == "--position") {
            std::stringstream parts(value());
            std::string x, y, z, extra;
            if (!std::getline(parts, x, ',') || !std::getline(parts, y, ',') || !std::getline(parts, z, ',') ||
                std::getline(parts, extra))
                throw EAmbitoneError("ambitone-tool: --position takes X,Y,Z");
            options.X = ParseNumber(x, "X");
            options.Y = ParseNumber(y, "Y");
            options.Z = ParseNumber(z, "Z");
        } else if (a == "--seconds") {
            options.Seconds = ParseNumber(value(), "--seconds");
            if (*options.Seconds <= 0 || *options.Seconds > 3600)
                throw EAmbitoneError("ambitone-tool: --seconds must lie in (0, 3600]");
        } else if (a == "--volume") {
            options.Volume = static_cast<int>(ParseNumber(value(), "--volume"));
        } else if (a == "--frequency") {
            options.Frequency = static_cast<int>(ParseNumber(value(), "--frequency"));
        } else if (a == "--loop") {
            options.Loop = true;
        } else if (a.rfind("--", 0) == 0) {
            throw EAmbitoneError("ambitone-tool: unknown option " + a + "\n" + usage);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != files)
        throw EAmbitoneError(usage);
    options.In = positional[0];
    if (files > 1)
        options.Out = positional[1];
    if (options.Loop && !options.Seconds)
        throw EAmbitoneError("ambitone-tool: --loop needs --seconds, a looping sound never ends by itself");
    return options;
}

// One channel on the main window's mixer, set up as the options say.
struct TRenderSession {
    TVirtualClock Clock;
    std::unique_ptr<TMMDSWaveMixer> Mixer;
    std::unique_ptr<TMMDSMixChannel> Channel;
    bool Ended = false;

    TRenderSession(ISoundBackend& backend, const TRenderOptions& options)
    {
        Mixer = std::make_unique<TMMDSWaveMixer>(backend, Clock);
        ApplyMainMixerSettings(*Mixer);
        Channel = std::make_unique<TMMDSMixChannel>(Mixer.get());
        ApplyChannelSettings(*Channel, 1);
        Channel->Wave().SetFileName(options.In);
        Channel->Sound3D().Position().Assign(options.X, options.Y, options.Z);
        Channel->SetVolume(options.Volume);
        Channel->SetFrequency(options.Frequency);
        Channel->SetLooping(options.Loop);
        Channel->SetOnPlayEnd([this](TMMDSMixChannel&, TMMDSPlayEnd) { Ended = true; });
    }

    ~TRenderSession()
    {
        Channel.reset(); // the channel closes the device before the mixer goes
        Mixer.reset();
    }
};

// A play that never ends (a wave the device refuses stays silent) is given
// up after this long.
constexpr int64_t kLongestPlayMs = 60LL * 60 * 1000;

} // namespace

int RunRenderCommand(const std::vector<std::string>& args)
{
    const char* usage = "Usage: ambitone-tool render IN.wav OUT.(wav|flac|ogg) [--position X,Y,Z] [--seconds S] "
                        "[--volume V] [--frequency F] [--loop]\n";
    TRenderOptions options = ParseOptions(args, 2, usage);
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend(44100, 2);
    TRenderSession session(*loopback.Backend, options);
    ILoopbackRenderer& renderer = *loopback.Renderer;
    const int stepFrames = renderer.SampleRate() * kStepMs / 1000;
    std::vector<int16_t> step(static_cast<size_t>(stepFrames) * renderer.Channels());

    session.Channel->Play();
    const int64_t limitMs = options.Seconds ? static_cast<int64_t>(*options.Seconds * 1000 + 0.5) : kLongestPlayMs;
    const int64_t limitSteps = (limitMs + kStepMs - 1) / kStepMs;
    TSoundFileWriter writer(options.Out, renderer.Channels(), renderer.SampleRate(), limitSteps * stepFrames);
    int64_t tailMs = -1; // after the end: 100 ms more
    for (int64_t t = 0; t < limitMs; t += kStepMs) {
        renderer.Render(step.data(), stepFrames);
        writer.Write(step.data(), stepFrames);
        session.Clock.Advance(kStepMs);
        if (!options.Seconds) {
            // The 100 ms after the end is seen are rendered whole.
            if (tailMs >= 0 && (tailMs += kStepMs) >= 100)
                break;
            if (session.Ended && tailMs < 0)
                tailMs = 0;
        }
    }
    writer.Commit();
    const int64_t frames = writer.FramesWritten();
    std::printf("SampleRate=%d\nChannels=%d\nFrames=%lld\nSeconds=%.3f\nPlayEnded=%s\n", renderer.SampleRate(),
                renderer.Channels(), static_cast<long long>(frames), double(frames) / renderer.SampleRate(),
                session.Ended ? "true" : "false");
    return 0;
}

int RunPlayCommand(const std::vector<std::string>& args)
{
    const char* usage = "Usage: ambitone-tool play IN.wav [--position X,Y,Z] [--seconds S] [--volume V] "
                        "[--frequency F] [--loop]\n";
    TRenderOptions options = ParseOptions(args, 1, usage);
    std::unique_ptr<ISoundBackend> backend = CreateOpenAlBackend();
    TRenderSession session(*backend, options);
    std::printf("ProductName=%s\n", session.Mixer->ProductName().c_str());
    std::fflush(stdout);
    session.Channel->Play();
    const int64_t limitMs = options.Seconds ? static_cast<int64_t>(*options.Seconds * 1000 + 0.5) : kLongestPlayMs;
    auto next = std::chrono::steady_clock::now();
    for (int64_t t = 0; t < limitMs && !(session.Ended && !options.Seconds); t += kStepMs) {
        next += std::chrono::milliseconds(kStepMs);
        std::this_thread::sleep_until(next);
        session.Clock.Advance(kStepMs);
    }
    std::printf("PlayEnded=%s\n", session.Ended ? "true" : "false");
    return 0;
}
