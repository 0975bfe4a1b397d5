#pragma once
// The content of a scheme package (.amx): a 260-byte header, then per row a
// 296-byte entry record followed by the row's WAV image (WaveSize bytes).
//
// Header: SchemeTitle (short string, 0..250), padding (1), EntryCount
// (int32 at 252), LoopLength (int32 at 256).
// Entry: SampleName (short string), padding (1), WaveSize (int32 at 252),
// Freq (int32 at 256), Randomize (byte at 260), padding (3), CoordX, CoordY,
// CoordZ (IEEE singles at 264, 268, 272), Repeat (int32 at 276 holding the
// 16-bit count), RepeatPatten (uint16 at 280), padding (2), Pattern (int32 at
// 284), PatternSpeed (int32 at 288), ReversePattern (byte at 292), padding
// (3). Padding and the unused tail of a string field are written as zeros.

#include "package/package_content.h"
#include "package/pack_stream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

constexpr size_t SchemePackageHeaderSize = 260;
constexpr size_t SchemePackageEntrySize = 296;

struct TSchemePackageHeader {
    std::string Title; // UTF-8
    int32_t EntryCount = 0;
    int32_t LoopLength = 0;
};

struct TSchemePackageEntry {
    std::string SampleName; // UTF-8
    int32_t Freq = 0;
    bool Randomize = false;
    float CoordX = 0, CoordY = 0, CoordZ = 0;
    uint16_t Repeat = 0;
    uint16_t RepeatPatten = 0;
    int32_t Pattern = 0;
    int32_t PatternSpeed = 0;
    bool ReversePattern = false;
    // The WAV image (WaveSize bytes): when parsed, a view into the content.
    std::span<const uint8_t> Image;
};

void EncodeSchemeHeader(const TSchemePackageHeader& header, uint8_t out[SchemePackageHeaderSize]);
// waveSize is the byte length of the image that follows the record.
void EncodeSchemeEntry(const TSchemePackageEntry& entry, int32_t waveSize, uint8_t out[SchemePackageEntrySize]);

struct TSchemePackage {
    TSchemePackageHeader Header;
    std::vector<TSchemePackageEntry> Entries; // EntryCount of them
};

// Reads and checks a whole content before anything is made of it: the
// header, every record and every image held in full (EntryCount and each
// WaveSize not negative, their total within the content; bytes after the
// last image are ignored), each string's length byte at most 250. Raises
// EPackageFormatError otherwise; allocates nothing from a count alone.
// The entries' images are views into `content`, which must outlive them.
TSchemePackage ParseSchemePackage(std::span<const uint8_t> content);

// Writes a scheme package into a new container on `path`: the header, then
// each entry with its image. Nothing is at `path` until Close has succeeded;
// a writer freed without Close leaves no file (and no temporary one).
class TSchemePackageWriter {
public:
    explicit TSchemePackageWriter(const std::string& path, IClock& clock = DefaultClock());
    ~TSchemePackageWriter();
    TSchemePackageWriter(const TSchemePackageWriter&) = delete;
    TSchemePackageWriter& operator=(const TSchemePackageWriter&) = delete;

    void WriteHeader(const TSchemePackageHeader& header);
    // The record with WaveSize = entry.Image.size(), then the image.
    void WriteEntry(const TSchemePackageEntry& entry);
    void Close();

private:
    std::unique_ptr<TPackFileStream> m_file;
    bool m_headerWritten = false;
    int32_t m_entriesLeft = 0; // of the header's EntryCount
};
