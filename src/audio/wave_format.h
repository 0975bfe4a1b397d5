#pragma once
// The published wave format record and the unit conversions between bytes,
// samples and milliseconds that waves, the mixer and the music chain share.
// Every conversion goes through MulDivRound, so they all round alike.

#include "base/error.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

static_assert(std::endian::native == std::endian::little, "wave records are read in place, little-endian");

class EMMWaveError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_ADPCM = 2;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_ALAW = 6;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x11;
constexpr uint16_t WAVE_FORMAT_MPEG = 80;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 85;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize; // extra bytes that follow the record
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// A format record with its extra bytes, held in one zero-filled buffer of at
// least 18 bytes, so that a 16-byte record reads with cbSize 0.
class TWaveFormat {
public:
    TWaveFormat() : m_bytes(sizeof(WAVEFORMATEX), 0) {}
    // Copies size bytes of a record into a zero-filled buffer of
    // max(size, 18) bytes plus one spare byte.
    static TWaveFormat FromBytes(const uint8_t* bytes, size_t size);
    // 16-bit PCM, or any other bit length, with the derived fields filled in.
    static TWaveFormat Pcm(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);

    WAVEFORMATEX& Header() { return *reinterpret_cast<WAVEFORMATEX*>(m_bytes.data()); }
    const WAVEFORMATEX& Header() const { return *reinterpret_cast<const WAVEFORMATEX*>(m_bytes.data()); }
    WAVEFORMATEX* operator->() { return &Header(); }
    const WAVEFORMATEX* operator->() const { return &Header(); }

    // The whole buffer: the record, its extra bytes and any spare byte.
    const uint8_t* Bytes() const { return m_bytes.data(); }
    size_t Size() const { return m_bytes.size(); }
    // A 16-bit little-endian field at a byte offset of the record; 0 when
    // the buffer is too short to hold it.
    uint16_t Word(size_t offset) const;
    int16_t SignedWord(size_t offset) const { return static_cast<int16_t>(Word(offset)); }

    // Every field of the record is 0 (the "no format" answer).
    bool IsZero() const;
    bool operator==(const TWaveFormat& other) const;

private:
    std::vector<uint8_t> m_bytes;
};

// a x b / c with a 64-bit product, the truncated quotient plus the truncated
// quotient of twice the remainder by c (for non-negative operands: rounding
// to nearest, halves up). Raises EMMWaveError when c is 0 or the quotient
// does not fit in 32 bits.
int32_t MulDivRound(int32_t a, int32_t b, int32_t c);

int32_t WaveBytesToSamples(const WAVEFORMATEX& format, int32_t bytes);
// Rounded up to a multiple of nBlockAlign.
int32_t WaveSamplesToBytes(const WAVEFORMATEX& format, int32_t samples);
int32_t WaveSamplesToMs(const WAVEFORMATEX& format, int32_t samples);
int32_t WaveMsToSamples(const WAVEFORMATEX& format, int32_t ms);
// Rounded up to a multiple of nBlockAlign.
int32_t WaveMsToBytes(const WAVEFORMATEX& format, int32_t ms);
