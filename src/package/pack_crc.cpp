#include "package/pack_crypto.h"

#include <array>

namespace {

// Eight tables so that eight bytes are folded per step: the container sums
// whole entries of many megabytes, and a byte-at-a-time loop dominates there.
constexpr std::array<std::array<uint32_t, 256>, 8> MakeCrcTables()
{
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        tables[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (size_t t = 1; t < 8; ++t) {
            uint32_t prev = tables[t - 1][i];
            tables[t][i] = (prev >> 8) ^ tables[0][prev & 0xFF];
        }
    }
    return tables;
}

constexpr auto kCrcTables = MakeCrcTables();

} // namespace

uint32_t PackCrc(const uint8_t* data, size_t size, uint32_t crc)
{
    const auto& t = kCrcTables;
    while (size >= 8) {
        // Assembled byte by byte, so the result does not depend on host order.
        uint32_t lo =
            crc ^ (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][data[4]] ^
              t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size-- > 0) {
        crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
    }
    return crc;
}
