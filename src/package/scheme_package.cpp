#include "package/scheme_package.h"

#include "package/package_fields.h"

#include <cstring>

using namespace PackageFields;

namespace {

[[noreturn]] void Refuse(const std::string& message) { throw EPackageFormatError("Scheme package: " + message); }

std::string ReadName(const uint8_t* field, const std::string& what)
{
    try {
        return ReadShortString(field);
    } catch (const EPackageFormatError& e) {
        Refuse(what + ": " + e.Message());
    }
}

} // namespace

void EncodeSchemeHeader(const TSchemePackageHeader& header, uint8_t out[SchemePackageHeaderSize])
{
    std::memset(out, 0, SchemePackageHeaderSize);
    WriteShortString(out, header.Title);
    PutI32(out + 252, header.EntryCount);
    PutI32(out + 256, header.LoopLength);
}

void EncodeSchemeEntry(const TSchemePackageEntry& entry, int32_t waveSize, uint8_t out[SchemePackageEntrySize])
{
    std::memset(out, 0, SchemePackageEntrySize);
    WriteShortString(out, entry.SampleName);
    PutI32(out + 252, waveSize);
    PutI32(out + 256, entry.Freq);
    out[260] = entry.Randomize ? 1 : 0;
    PutF32(out + 264, entry.CoordX);
    PutF32(out + 268, entry.CoordY);
    PutF32(out + 272, entry.CoordZ);
    PutI32(out + 276, entry.Repeat);
    PutU16(out + 280, entry.RepeatPatten);
    PutI32(out + 284, entry.Pattern);
    PutI32(out + 288, entry.PatternSpeed);
    out[292] = entry.ReversePattern ? 1 : 0;
}

TSchemePackage ParseSchemePackage(std::span<const uint8_t> content)
{
    if (content.size() < SchemePackageHeaderSize)
        Refuse("the content is " + std::to_string(content.size()) + " bytes; the header alone needs " +
               std::to_string(SchemePackageHeaderSize) + ".");
    const uint8_t* bytes = content.data();
    TSchemePackage package;
    package.Header.Title = ReadName(bytes, "SchemeTitle");
    package.Header.EntryCount = GetI32(bytes + 252);
    package.Header.LoopLength = GetI32(bytes + 256);

    const int32_t count = package.Header.EntryCount;
    size_t at = SchemePackageHeaderSize;
    if (count < 0)
        Refuse("EntryCount is negative (" + std::to_string(count) + ").");
    // Every record needs its bytes even with empty images: the count is
    // believed only as far as the content can hold it.
    if (uint64_t(count) * SchemePackageEntrySize > content.size() - at)
        Refuse("EntryCount " + std::to_string(count) + " needs " +
               std::to_string(uint64_t(count) * SchemePackageEntrySize) + " bytes of records; " +
               std::to_string(content.size() - at) + " follow the header.");
    package.Entries.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const std::string what = "entry " + std::to_string(i);
        if (content.size() - at < SchemePackageEntrySize)
            Refuse(what + " is cut short in its record.");
        const uint8_t* record = bytes + at;
        at += SchemePackageEntrySize;
        TSchemePackageEntry entry;
        entry.SampleName = ReadName(record, what + " SampleName");
        const int32_t waveSize = GetI32(record + 252);
        if (waveSize < 0)
            Refuse(what + " has a negative WaveSize (" + std::to_string(waveSize) + ").");
        if (uint64_t(waveSize) > content.size() - at)
            Refuse(what + "'s image of " + std::to_string(waveSize) + " bytes is cut short (" +
                   std::to_string(content.size() - at) + " bytes left).");
        entry.Freq = GetI32(record + 256);
        entry.Randomize = record[260] != 0;
        entry.CoordX = GetF32(record + 264);
        entry.CoordY = GetF32(record + 268);
        entry.CoordZ = GetF32(record + 272);
        // The count is 16-bit; the upper half of its field is padding.
        entry.Repeat = static_cast<uint16_t>(GetU32(record + 276));
        entry.RepeatPatten = GetU16(record + 280);
        entry.Pattern = GetI32(record + 284);
        entry.PatternSpeed = GetI32(record + 288);
        entry.ReversePattern = record[292] != 0;
        entry.Image = content.subspan(at, static_cast<size_t>(waveSize));
        at += static_cast<size_t>(waveSize);
        package.Entries.push_back(std::move(entry));
    }
    return package;
}

TSchemePackageWriter::TSchemePackageWriter(const std::string& path, IClock& clock)
    : m_file(std::make_unique<TPackFileStream>(path, PackModeCreate, PackagePassword, PackageLevel, PackageGap, clock))
{
}

TSchemePackageWriter::~TSchemePackageWriter()
{
    // After a successful Close this does nothing; otherwise the unfinished
    // file must not be renamed into place by the stream's own closing.
    if (m_file)
        m_file->Discard();
}

void TSchemePackageWriter::WriteHeader(const TSchemePackageHeader& header)
{
    if (m_headerWritten)
        throw EPackageFormatError("Scheme package: the header is written once, before the entries.");
    if (header.EntryCount < 0)
        throw EPackageFormatError("Scheme package: EntryCount cannot be negative.");
    uint8_t bytes[SchemePackageHeaderSize];
    EncodeSchemeHeader(header, bytes);
    m_file->Write(bytes, sizeof bytes);
    m_headerWritten = true;
    m_entriesLeft = header.EntryCount;
}

void TSchemePackageWriter::WriteEntry(const TSchemePackageEntry& entry)
{
    // A package whose count and entries disagree would be refused (or cut)
    // by every reader.
    if (!m_headerWritten || m_entriesLeft == 0)
        throw EPackageFormatError("Scheme package: an entry beyond the header's EntryCount.");
    if (entry.Image.size() > size_t{INT32_MAX})
        throw EPackageFormatError("Scheme package: the image of " + entry.SampleName + " is too large.");
    uint8_t record[SchemePackageEntrySize];
    EncodeSchemeEntry(entry, static_cast<int32_t>(entry.Image.size()), record);
    m_file->Write(record, sizeof record);
    m_file->Write(entry.Image.data(), entry.Image.size());
    --m_entriesLeft;
}

void TSchemePackageWriter::Close()
{
    if (!m_headerWritten)
        throw EPackageFormatError("Scheme package: no header was written.");
    if (m_entriesLeft != 0)
        throw EPackageFormatError("Scheme package: " + std::to_string(m_entriesLeft) +
                                  " of the header's entries were not written.");
    m_file->Close();
}
