#pragma once
// RIFF WAVE images built in memory, for every test program: a builder that
// appends chunks in order, lets every size field be overridden, puts bytes
// after the RIFF body and cuts the finished image at any byte; an ordinary
// PCM image of pattern bytes; and a 16-bit tone.
//
// Only the wave format record is taken from the audio folder, so that a test
// program needs no audio library to use these.

#include "audio/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using TBytes = std::vector<uint8_t>;

void AppendLe16(TBytes& bytes, uint16_t value);
void AppendLe32(TBytes& bytes, uint32_t value);
// Raises std::invalid_argument unless fourCc has four characters.
void AppendId(TBytes& bytes, std::string_view fourCc);

// The first `size` bytes of a format record (16 for a plain PCM chunk, 18
// with cbSize), followed by `extra` bytes.
TBytes FmtBody(const WAVEFORMATEX& format, size_t size = 16, const TBytes& extra = {});

// One chunk on its own: header, body and pad byte.
TBytes ChunkBytes(std::string_view id, const TBytes& body);

// `count` bytes of a recognisable pattern (index modulo 251).
TBytes PatternBytes(size_t count, uint8_t seed = 0);

class TRiffBuilder {
public:
    explicit TRiffBuilder(std::string_view formType = "WAVE");

    // Appends a chunk whose size field is the body's length unless
    // declaredSize is given. An odd body is followed by a zero pad byte
    // (declare an odd size over an even body to leave the pad out).
    TRiffBuilder& Chunk(std::string_view id, const TBytes& body, std::optional<uint32_t> declaredSize = std::nullopt);
    TRiffBuilder& Fmt(const WAVEFORMATEX& format, size_t size = 16);
    TRiffBuilder& Data(const TBytes& body, std::optional<uint32_t> declaredSize = std::nullopt);
    // A LIST chunk: form type then body.
    TRiffBuilder& List(std::string_view formType, const TBytes& body);
    // Bytes after the RIFF body, not counted in the automatic RIFF size.
    TRiffBuilder& Trailing(const TBytes& bytes);
    // Overrides the RIFF size field (by default 4 + all chunks with pads).
    TRiffBuilder& RiffSize(uint32_t size);

    TBytes Build() const;
    // The image cut to its first `length` bytes.
    TBytes Build(size_t length) const;

    // Offset of chunk `index`'s header, and of its body (header + 8).
    size_t ChunkOffset(size_t index) const;
    size_t BodyOffset(size_t index) const { return ChunkOffset(index) + 8; }

private:
    TBytes m_form;                 // "WAVE" or another form type
    TBytes m_chunks;               // every chunk, headers, bodies and pads
    std::vector<size_t> m_offsets; // header offsets within the image
    TBytes m_trailing;
    std::optional<uint32_t> m_riffSize;
};

// An ordinary PCM file image: a 16-byte fmt chunk and a data chunk of
// `frames` frames of pattern bytes.
TBytes PcmWaveImage(uint16_t channels, uint32_t rate, uint16_t bits, size_t frames);

// A 16-bit mono PCM image (16-byte fmt chunk, then data) of `frames` frames
// of a sine at `pitch` Hz, amplitude 8000; `pitch` tells images apart.
TBytes ToneWave(int frames, double pitch = 440, uint32_t rate = 22050, double amplitude = 8000);
// The same bytes, for code that reads images from a std::istream.
std::string ToneWaveString(int frames, double pitch = 440, uint32_t rate = 22050, double amplitude = 8000);
