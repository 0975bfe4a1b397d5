#pragma once
// A song player: the MPEG file source, the gain stage and the wave output,
// linked in that order. The window's music page plays its songs through one
// (10 buffers of 2048 bytes); the music browser auditions files through its
// own (buffers of 4096 bytes).
//
// Contract: user-interface thread. Making one raises EMMMpegError "Unable to
// load the MPEG decoder library" when libmpg123 cannot be had.

#include "base/clock.h"
#include "music/mpeg_file.h"
#include "music/volume.h"
#include "music/wave_out.h"

#include <cstdint>
#include <string>

class TMusicChain {
public:
    TMusicChain(IClock& clock, TWaveOutDevice device, uint32_t bufferSize, int bufferCount = 10);
    ~TMusicChain();
    TMusicChain(const TMusicChain&) = delete;
    TMusicChain& operator=(const TMusicChain&) = delete;

    TMMMPEGFile Source;
    TMMVolume Volume;
    TMMWaveOut Output;

    // A song from the start of `path`: a playing output stops first, the
    // source loads `path` only when it is not its file already (the same
    // song restarts without reopening), then the output starts.
    void PlaySong(const std::string& path);
    void Stop();
    bool Playing() const { return Output.Playing(); }
};
