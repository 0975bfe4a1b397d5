#pragma once
// Offline rendering of a stored scheme: the scheme session the main window
// plays through (playback/scheme_session.h), on a mixer set up as the
// window's, played by its scheduler with the motion tick, all on one virtual
// clock, and mixed on the OpenAL Soft loopback device at 44100 Hz, 16-bit
// stereo. The mix streams to a WAV, FLAC or Ogg Vorbis file
// (sound_file_writer.h) second by second, so a render of hours never sits in
// memory. Shared by `ambitone-tool render-scheme`, its benchmark and the
// window.
//
// Contract: runs wholly on the calling thread, which may be any thread: it
// makes its own store connection, clock, random generator, mixer and
// loopback device, and neither sets the default clock nor draws from the
// process's generator, so the window may go on playing its own scheme
// meanwhile. OnEvent and OnProgress are called on that thread. Reads the
// store only. Errors of the store, the wave loader, the mixer and the writer
// pass through with their own messages; a missing store or scheme or a
// length out of range raises EAmbitoneError; a cancel raises
// ERenderCancelled. Whatever it raises leaves no file at Out (and a file
// already there as it was).

#include "base/error.h"
#include "playback/scheduler.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class ERenderCancelled : public EAmbitoneError {
public:
    ERenderCancelled() : EAmbitoneError("Render cancelled") {}
};

struct TSchemeRenderOptions {
    std::filesystem::path DataDir; // holds Ambitone.db
    std::string Title;             // the scheme's Name, looked up when SchemeNo is not given
    std::optional<int32_t> SchemeNo; // the scheme's RecordNo
    std::filesystem::path Out;     // .wav, .flac or .ogg; empty writes none
    std::optional<double> Seconds; // default: one loop; at most 36000
    int64_t StartMs = 0;           // the virtual clock's time of day at Play, ms since midnight UTC
    bool Headphones = false;       // OpenAL Soft's HRTF
    // The sleep timer: the last 30 s before it fade out, then the scheme
    // stops as Stop does.
    std::optional<double> SleepAfter;
    // Each scheduler event, with the virtual milliseconds since Play.
    std::function<void(int64_t ms, int row, TPlaybackEvent event)> OnEvent;
    // The share rendered and written so far, 0..1, never falling: after
    // every rendered second and with 1.0 at the end.
    std::function<void(double done)> OnProgress;
    // Looked at before every 10 ms step; once set, the render stops.
    const std::atomic<bool>* Cancel = nullptr;
};

struct TSchemeRenderResult {
    int Rows = 0;       // rows built (scheme samples whose sound exists)
    int Skipped = 0;    // scheme samples whose sound is missing
    int LoopLength = 0; // the scheme's loop length, as the scheduler holds it
    int SampleRate = 0;
    int Channels = 0;
    int64_t Frames = 0;
    int64_t Milliseconds = 0;
    int Fires = 0, Repeats = 0, Ends = 0;
    int Peak = 0; // the largest absolute sample
};

// The longest render, in seconds: ten hours.
constexpr double kLongestRenderSeconds = 36000;

TSchemeRenderResult RenderScheme(const TSchemeRenderOptions& options);
