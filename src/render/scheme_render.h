#pragma once
// Offline rendering of a stored scheme: the scheme session the main window
// plays through (playback/scheme_session.h), on a mixer set up as the
// window's, played by its scheduler with the motion tick, all on one virtual
// clock, and mixed on the OpenAL Soft loopback device at 44100 Hz, 16-bit
// stereo. Shared by `ambitone-tool render-scheme` and its benchmark.
//
// Contract: one thread. Reads the store only. Errors of the store, the wave
// loader and the mixer pass through with their own messages; a missing
// store or scheme raises EAmbitoneError.

#include "playback/scheduler.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

struct TSchemeRenderOptions {
    std::filesystem::path DataDir; // holds Ambitone.db
    std::string Title;             // the scheme's Name
    std::filesystem::path Out;     // the WAV to write; empty writes none
    std::optional<double> Seconds; // default: one loop
    int64_t StartMs = 0;           // the virtual clock's time of day at Play, ms since midnight UTC
    bool Headphones = false;       // OpenAL Soft's HRTF
    // The sleep timer: the last 30 s before it fade out, then the scheme
    // stops as Stop does.
    std::optional<double> SleepAfter;
    // Each scheduler event, with the virtual milliseconds since Play.
    std::function<void(int64_t ms, int row, TPlaybackEvent event)> OnEvent;
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

TSchemeRenderResult RenderScheme(const TSchemeRenderOptions& options);

// "HH:MM:SS" or "HH:MM:SS.mmm" to milliseconds since midnight.
int64_t ParseTimeOfDay(const std::string& text);
