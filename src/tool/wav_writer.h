#pragma once
// Writes a plain PCM WAV file (RIFF, a 16-byte fmt chunk, data) through a
// temporary file in the same folder that is renamed over the target, so a
// failed write never leaves half a file.
//
// Only wave-decode uses it: its output is a mixer buffer's PCM byte for byte,
// in the wave's own header (any depth, such as 12 bits in 16, and a trailing
// part frame), which libsndfile cannot write as it is. Rendered sound goes
// through render/sound_file_writer.h.

#include "audio/wave_format.h"

#include <cstdint>
#include <filesystem>

void WritePcmWaveFile(const std::filesystem::path& path, const TWaveFormat& format, const uint8_t* data,
                      uint32_t bytes);
