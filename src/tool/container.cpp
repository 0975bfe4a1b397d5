// ambitone-tool container-pack / container-unpack / container-info: write a
// file's bytes into a package container, take the content back out, and
// print a container's header and block list.
#include "package/pack_stream.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The password wait needs time that moves; the default clock of a program
// without a user interface stands still.
class TSteadyClock : public TVirtualClock {
public:
    int64_t SteadyMilliseconds() override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

struct TContainerArgs {
    std::vector<std::string> Files;
    std::string Password;
    long Level = 2;
    long Gap = 0;
    long Chunk = 0;
};

bool ParseNumber(const std::string& text, long low, long high, long& out)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        return false;
    out = value;
    return true;
}

// False (after a message) when the arguments do not fit the usage.
bool ParseArgs(const std::vector<std::string>& args, size_t files, bool packOptions, const char* usage,
               TContainerArgs& out)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == "--password" && hasValue)
            out.Password = args[++i];
        else if (packOptions && a == "--level" && hasValue)
            ok = ParseNumber(args[++i], 0, 255, out.Level);
        else if (packOptions && a == "--gap" && hasValue)
            ok = ParseNumber(args[++i], 0, 0x7FFFFFFF, out.Gap);
        else if (packOptions && a == "--chunk" && hasValue)
            ok = ParseNumber(args[++i], 1, 0x7FFFFFFF, out.Chunk);
        else if (a.rfind("--", 0) == 0)
            ok = false;
        else
            out.Files.push_back(a);
        if (!ok) {
            std::fprintf(stderr, "%s", usage);
            return false;
        }
    }
    if (out.Files.size() != files) {
        std::fprintf(stderr, "%s", usage);
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

// Shared with package-info (package_info.cpp).
void PrintContainerInfo(const TPackFileStream& in)
{
    if (in.IsPlain()) {
        std::printf("Container=0\nSize=%llu\n", static_cast<unsigned long long>(in.Size()));
        return;
    }
    const TPackHeader& h = in.Header();
    std::printf("Container=1\nBlockSize=%u\nCheckCrc=0x%08X\nBlockCount=%u\nFormatVersion=0x%08X\n"
                "CompressionLevel=%u\nEncrypted=%u\nGapSize=%u\nSize=%llu\n",
                h.BlockSize, h.CheckCrc, h.BlockCount, h.FormatVersion, unsigned{h.CompressionLevel},
                unsigned{h.Encrypted}, h.GapSize, static_cast<unsigned long long>(in.Size()));
    const TPackHeadersArray& blocks = in.Headers();
    for (size_t i = 0; i < blocks.size(); ++i)
        std::printf("Block%zu=Offset=%llu PackedSize=%u UnpackedSize=%u BlockCrc=0x%08X NextOffset=%u\n", i,
                    static_cast<unsigned long long>(blocks[i].Offset), blocks[i].PackedSize, blocks[i].UnpackedSize,
                    blocks[i].BlockCrc, blocks[i].NextOffset);
}

IClock& ToolSteadyClock()
{
    static TSteadyClock clock;
    return clock;
}

int RunContainerPackCommand(const std::vector<std::string>& args)
{
    TContainerArgs a;
    if (!ParseArgs(args, 2, true,
                   "Usage: ambitone-tool container-pack IN OUT [--password P] [--level N] [--gap G] [--chunk BYTES]\n",
                   a))
        return 1;
    std::vector<uint8_t> content;
    if (!ReadWholeFile(a.Files[0], content)) {
        std::fprintf(stderr, "Cannot open file %s\n", a.Files[0].c_str());
        return 1;
    }
    TSteadyClock clock;
    try {
        TPackFileStream out(a.Files[1], PackModeCreate, a.Password, static_cast<uint8_t>(a.Level),
                            static_cast<uint32_t>(a.Gap), clock);
        const size_t chunk = a.Chunk > 0 ? static_cast<size_t>(a.Chunk) : content.size();
        for (size_t done = 0; done < content.size(); done += chunk)
            out.Write(content.data() + done, std::min(chunk, content.size() - done));
        out.Close();
    } catch (const EAmbitoneError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

int RunContainerUnpackCommand(const std::vector<std::string>& args)
{
    TContainerArgs a;
    if (!ParseArgs(args, 2, false, "Usage: ambitone-tool container-unpack IN OUT [--password P]\n", a))
        return 1;
    TSteadyClock clock;
    try {
        TPackFileStream in(a.Files[0], PackModeReadOnly, a.Password, 2, 0, clock);
        std::ofstream out(a.Files[1], std::ios::binary | std::ios::trunc);
        if (!out) {
            std::fprintf(stderr, "Cannot create file %s\n", a.Files[1].c_str());
            return 1;
        }
        in.CopyTo([&out](const uint8_t* data, size_t size) {
            out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        });
        out.close();
        if (!out) {
            std::fprintf(stderr, "Cannot write file %s\n", a.Files[1].c_str());
            return 1;
        }
    } catch (const EAmbitoneError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

int RunContainerInfoCommand(const std::vector<std::string>& args)
{
    TContainerArgs a;
    if (!ParseArgs(args, 1, false, "Usage: ambitone-tool container-info FILE [--password P]\n", a))
        return 1;
    TSteadyClock clock;
    try {
        TPackFileStream in(a.Files[0], PackModeReadOnly, a.Password, 2, 0, clock);
        PrintContainerInfo(in);
    } catch (const EAmbitoneError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
