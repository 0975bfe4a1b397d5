// links: ambitone_package
// Parses arbitrary bytes as the content of a scheme package; what parses is
// encoded again and must parse back to the same values.
#include "package/scheme_package.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <vector>

namespace {

bool SameFloat(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

bool SameEntry(const TSchemePackageEntry& a, const TSchemePackageEntry& b)
{
    return a.SampleName == b.SampleName && a.Freq == b.Freq && a.Randomize == b.Randomize &&
           SameFloat(a.CoordX, b.CoordX) && SameFloat(a.CoordY, b.CoordY) && SameFloat(a.CoordZ, b.CoordZ) &&
           a.Repeat == b.Repeat && a.RepeatPatten == b.RepeatPatten && a.Pattern == b.Pattern &&
           a.PatternSpeed == b.PatternSpeed && a.ReversePattern == b.ReversePattern &&
           std::equal(a.Image.begin(), a.Image.end(), b.Image.begin(), b.Image.end());
}

std::vector<uint8_t> Encode(const TSchemePackage& p)
{
    std::vector<uint8_t> out(SchemePackageHeaderSize);
    EncodeSchemeHeader(p.Header, out.data());
    for (const TSchemePackageEntry& e : p.Entries) {
        uint8_t record[SchemePackageEntrySize];
        EncodeSchemeEntry(e, static_cast<int32_t>(e.Image.size()), record);
        out.insert(out.end(), record, record + SchemePackageEntrySize);
        out.insert(out.end(), e.Image.begin(), e.Image.end());
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TSchemePackage first;
    try {
        first = ParseSchemePackage({data, size});
    } catch (const EPackageFormatError&) {
        // Damaged input is expected to raise; crashes and leaks are the faults.
        return 0;
    }
    if (first.Entries.size() != static_cast<size_t>(first.Header.EntryCount))
        std::abort();
    const std::vector<uint8_t> encoded = Encode(first);
    // A parsed content encodes to one its parser accepts without question.
    const TSchemePackage second = ParseSchemePackage(encoded);
    if (second.Header.Title != first.Header.Title || second.Header.EntryCount != first.Header.EntryCount ||
        second.Header.LoopLength != first.Header.LoopLength || second.Entries.size() != first.Entries.size())
        std::abort();
    for (size_t i = 0; i < first.Entries.size(); ++i)
        if (!SameEntry(first.Entries[i], second.Entries[i]))
            std::abort();
    return 0;
}
