#pragma once
// Reference material for the decoder tests. Mainly the installed sox binary
// as a black-box reference: tests make a tone in a given encoding with it,
// have it decode that file to 16-bit PCM with dither off, and compare our
// decode with its decode sample for sample. Also the format records and
// block data the tests build by hand.

#include "audio/wave_format.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct TReferenceWave {
    TWaveFormat Format;
    std::vector<uint8_t> Data; // the data chunk, cut to the file's end
};

// A scratch directory that lives as long as the object.
class TSoxWorkspace {
public:
    TSoxWorkspace();
    ~TSoxWorkspace();
    TSoxWorkspace(const TSoxWorkspace&) = delete;
    TSoxWorkspace& operator=(const TSoxWorkspace&) = delete;

    std::filesystem::path Path(const std::string& name) const { return m_dir / name; }
    // Runs "sox <arguments>" inside the directory; true when sox succeeds.
    bool Sox(const std::string& arguments) const;
    // Reads a WAV file of the directory: its fmt chunk and data chunk.
    std::optional<TReferenceWave> Read(const std::string& name) const;

private:
    std::filesystem::path m_dir;
};

std::vector<int16_t> Samples16(const uint8_t* pcm, size_t bytes);
inline std::vector<int16_t> Samples16(const std::vector<uint8_t>& pcm) { return Samples16(pcm.data(), pcm.size()); }

// A format record with cbSize set to extra's length.
TWaveFormat FormatRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign,
                         const std::vector<uint8_t>& extra = {});
// WAVE_FORMAT_EXTENSIBLE around the sub-format of the given old tag.
TWaveFormat ExtensibleRecord(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat, uint16_t validBits);
// The standard Microsoft ADPCM record at 22050 Hz, its block exactly as long
// as its frames need.
std::vector<uint8_t> MsAdpcmRecordBytes(uint16_t channels, uint16_t samplesPerBlock);
TWaveFormat MsAdpcmRecord(uint16_t channels, uint16_t samplesPerBlock = 32);
// count blocks of varied bytes under valid headers: for Microsoft ADPCM
// predictor (block + channel) mod 7 and a moderate step, for IMA ADPCM a
// step index below 89.
std::vector<uint8_t> AdpcmBlocks(const TWaveFormat& format, size_t count);
