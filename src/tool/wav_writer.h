#pragma once
// Writes a plain PCM WAV file (RIFF, a 16-byte fmt chunk, data) through a
// temporary file in the same folder that is renamed over the target, so a
// failed write never leaves half a file.

#include "audio/wave_format.h"

#include <cstdint>
#include <filesystem>

void WritePcmWaveFile(const std::filesystem::path& path, const TWaveFormat& format, const uint8_t* data,
                      uint32_t bytes);
