// ambitone-tool package-info: a package file's container header, then its
// kind (scheme or category, by extension), its header and one line per
// entry or node record.
#include "package/category_package.h"
#include "package/package_content.h"
#include "package/pack_stream.h"
#include "package/scheme_package.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

// Defined in container.cpp.
void PrintContainerInfo(const TPackFileStream& in);
IClock& ToolSteadyClock();

namespace {

bool IsCategoryFile(const std::string& path)
{
    const std::string ext = ".amc";
    if (path.size() < ext.size())
        return false;
    return std::equal(ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

int32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<int32_t>(uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
                                uint32_t{b[at + 3]} << 24);
}

// The header lines of a content its parser refused, as far as they can be read.
void PrintReadableHeader(const std::vector<uint8_t>& content, bool category)
{
    if (category) {
        if (content.size() >= 4)
            std::printf("NodeTotal=%d\n", Le32(content, 0));
        return;
    }
    if (content.size() < SchemePackageHeaderSize)
        return;
    try {
        std::printf("SchemeTitle=%s\n", ReadShortString(content.data()).c_str());
    } catch (const EPackageFormatError&) {
    }
    std::printf("EntryCount=%d\nLoopLength=%d\n", Le32(content, 252), Le32(content, 256));
}

void PrintScheme(const TSchemePackage& p)
{
    std::printf("SchemeTitle=%s\nEntryCount=%d\nLoopLength=%d\n", p.Header.Title.c_str(), p.Header.EntryCount,
                p.Header.LoopLength);
    for (size_t i = 0; i < p.Entries.size(); ++i) {
        const TSchemePackageEntry& e = p.Entries[i];
        std::printf("Entry=%zu SampleName=%s WaveSize=%zu Freq=%d Randomize=%d CoordX=%g CoordY=%g CoordZ=%g "
                    "Repeat=%u RepeatPatten=%u Pattern=%d PatternSpeed=%d ReversePattern=%d\n",
                    i, e.SampleName.c_str(), e.Image.size(), e.Freq, int{e.Randomize}, double{e.CoordX},
                    double{e.CoordY}, double{e.CoordZ}, unsigned{e.Repeat}, unsigned{e.RepeatPatten}, e.Pattern,
                    e.PatternSpeed, int{e.ReversePattern});
    }
}

void PrintCategory(const TCategoryPackage& p)
{
    std::printf("NodeTotal=%d\n", p.NodeTotal);
    for (size_t i = 0; i < p.Nodes.size(); ++i) {
        const TCategoryPackageNode& n = p.Nodes[i];
        std::printf("Node=%zu Depth=%d NodeName=%s ChildCount=%d BlobSize=%lld\n", i, n.Depth, n.Name.c_str(),
                    n.ChildCount, n.IsCategory ? -1LL : static_cast<long long>(n.Blob.size()));
    }
}

} // namespace

int RunPackageInfoCommand(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "Usage: ambitone-tool package-info FILE\n");
        return 1;
    }
    const std::string& path = args[0];
    const bool category = IsCategoryFile(path);
    std::vector<uint8_t> content;
    try {
        {
            TPackFileStream in(path, PackModeReadOnly, PackagePassword, PackageLevel, PackageGap, ToolSteadyClock());
            PrintContainerInfo(in);
        }
        content = ReadPackageContent(path, ToolSteadyClock());
    } catch (const EAmbitoneError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("Kind=%s\n", category ? "category" : "scheme");
    try {
        if (category)
            PrintCategory(ParseCategoryPackage(content));
        else
            PrintScheme(ParseSchemePackage(content));
    } catch (const EPackageFormatError& e) {
        PrintReadableHeader(content, category);
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
