// links: ambitone_package
// Opens arbitrary bytes as a package file, read-only, without and with a
// password, and reads everything in small pieces and in block pieces.
#include "package/pack_stream.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The password wait on a clock that moves 1 ms per reading: 257 turns.
class TSteppingClock : public TVirtualClock {
public:
    int64_t SteadyMilliseconds() override { return ++m_time; }

private:
    int64_t m_time = 0;
};

void ReadAll(const std::string& path, const std::string& password)
{
    TSteppingClock clock;
    try {
        TPackFileStream in(path, PackModeReadOnly, password, 2, 0, clock);
        std::vector<uint8_t> piece(4096);
        while (in.Read(piece.data(), piece.size()) > 0) {
        }
        in.CopyTo([](const uint8_t*, size_t) {});
    } catch (const EAmbitoneError&) {
        // Damaged input is expected to raise; crashes and leaks are the faults.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        char name[] = "/tmp/ambitone-container-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            std::abort();
        close(fd);
        return std::string(name);
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    ReadAll(path, "");
    ReadAll(path, "Quorlentix");
    return 0;
}
