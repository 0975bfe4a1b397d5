// ambitone-tool wave-info FILE: loads a WAV file as the program does (by
// file name, into a memory wave) and prints the format as the wave holds it
// after loading, then where the samples lie and how many there are.
#include "audio/wave.h"

#include <cstdio>
#include <string>
#include <vector>

int RunWaveInfoCommand(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].empty()) {
        std::fputs("Usage: ambitone-tool wave-info FILE\n", stderr);
        return 1;
    }
    TMMWave wave;
    wave.CreateMemoryStore();
    try {
        wave.SetFileName(args[0]);
    } catch (const EMMWaveError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    // A load that did not raise has described the image.
    const TWaveInfo* info = wave.WaveInfo();
    const WAVEFORMATEX& f = info->Format.Header();
    std::printf("wFormatTag=%u\nnChannels=%u\nnSamplesPerSec=%u\nnAvgBytesPerSec=%u\nnBlockAlign=%u\n"
                "wBitsPerSample=%u\ncbSize=%u\n",
                unsigned{f.wFormatTag}, unsigned{f.nChannels}, unsigned{f.nSamplesPerSec}, unsigned{f.nAvgBytesPerSec},
                unsigned{f.nBlockAlign}, unsigned{f.wBitsPerSample}, unsigned{f.cbSize});
    std::printf("FileSize=%u\nDataOffset=%u\nDataBytes=%u\nSampleCount=%u\n", unsigned{info->FileSize},
                unsigned{info->DataOffset}, unsigned{info->DataBytes}, unsigned{info->SampleCount});
    return 0;
}
