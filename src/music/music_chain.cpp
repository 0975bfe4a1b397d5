#include "music/music_chain.h"

TMusicChain::TMusicChain(IClock& clock, TWaveOutDevice device, uint32_t bufferSize, int bufferCount)
    : Output(clock, device)
{
    Source.SetOutput(&Volume);
    Volume.SetOutput(&Output);
    Output.SetBufferSize(bufferSize);
    Output.SetNumBuffers(bufferCount);
}

TMusicChain::~TMusicChain()
{
    try {
        if (Output.Playing())
            Output.Stop();
    } catch (...) {
        // The chain goes all the same.
    }
}

void TMusicChain::PlaySong(const std::string& path)
{
    if (Output.Playing())
        Output.Stop();
    if (Source.FileName() != path)
        Source.SetFileName(path);
    Output.Start();
}

void TMusicChain::Stop()
{
    Output.Stop();
}
