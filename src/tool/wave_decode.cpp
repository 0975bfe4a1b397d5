// ambitone-tool wave-decode IN OUT: writes OUT as a plain PCM WAV holding the
// format and the sample bytes a mixer buffer would be filled with.
#include "audio/pcm_buffer.h"
#include "audio/wave.h"
#include "tool/wav_writer.h"

#include <cstdio>
#include <string>
#include <vector>

int RunWaveDecodeCommand(const std::vector<std::string>& args)
{
    if (args.size() != 2 || args[0].empty() || args[1].empty()) {
        std::fputs("Usage: ambitone-tool wave-decode IN OUT\n", stderr);
        return 1;
    }
    TMMWave wave;
    wave.CreateMemoryStore();
    wave.SetFileName(args[0]);
    TPcmBufferPlan plan = PlanPcmBuffer(wave);
    std::vector<uint8_t> samples(plan.Bytes);
    uint32_t written = FillPcmBuffer(wave, plan, samples.data(), plan.Bytes);
    // A buffer holds what was planned; a shorter fill leaves silence behind it.
    WritePcmWaveFile(args[1], plan.Format, samples.data(), static_cast<uint32_t>(samples.size()));
    const WAVEFORMATEX& f = plan.Format.Header();
    std::printf("wFormatTag=%u\nnChannels=%u\nnSamplesPerSec=%u\nwBitsPerSample=%u\nnBlockAlign=%u\n"
                "DataBytes=%u\nDecodedBytes=%u\n",
                unsigned{f.wFormatTag}, unsigned{f.nChannels}, unsigned{f.nSamplesPerSec}, unsigned{f.wBitsPerSample},
                unsigned{f.nBlockAlign}, plan.Bytes, written);
    return 0;
}
