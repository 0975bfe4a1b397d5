#include "package/pack_crypto.h"

#include <cstring>

namespace {

// Message word order and rotation amounts of the left and right lines, one
// row of sixteen per round.
constexpr uint8_t kLeftWord[64] = {0,  1,  2,  3,  4, 5, 6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 7,  4, 13, 1, 10, 6,
                                   15, 3,  12, 0,  9, 5, 2,  14, 11, 8, 3,  10, 14, 4,  9,  15, 8,  1, 2,  7, 0,  6,
                                   13, 11, 5,  12, 1, 9, 11, 10, 0,  8, 12, 4,  13, 3,  7,  15, 14, 5, 6,  2};
constexpr uint8_t kRightWord[64] = {5,  14, 7,  0,  9, 2,  11, 4, 13, 6,  15, 8, 1, 10, 3, 12, 6, 11, 3,  7, 0,  13,
                                    5,  10, 14, 15, 8, 12, 4,  9, 1,  2,  15, 5, 1, 3,  7, 14, 6, 9,  11, 8, 12, 2,
                                    10, 0,  4,  13, 8, 6,  4,  1, 3,  11, 15, 0, 5, 12, 2, 13, 9, 7,  10, 14};
constexpr uint8_t kLeftShift[64] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6, 7,  9,  8, 7,  6,  8,  13, 11, 9,
                                    7,  15, 7,  12, 15, 9,  11, 7,  13, 12, 11, 13, 6, 7,  14, 9, 13, 15, 14, 8,  13, 6,
                                    5,  12, 7,  5,  11, 12, 14, 15, 14, 15, 9,  8,  9, 14, 5,  6, 8,  6,  5,  12};
constexpr uint8_t kRightShift[64] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                                     9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                                     9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                                     15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
// clang-format on
constexpr uint32_t kLeftConst[4] = {0x00000000u, 0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu};
constexpr uint32_t kRightConst[4] = {0x50A28BE6u, 0x5C4DD124u, 0x6D703EF3u, 0x00000000u};

constexpr uint32_t Rotl(uint32_t x, unsigned n)
{
    return (x << n) | (x >> (32 - n));
}

// The four boolean functions; the right line uses them in reverse order.
constexpr uint32_t RoundFunction(unsigned round, uint32_t x, uint32_t y, uint32_t z)
{
    switch (round) {
    case 0:
        return x ^ y ^ z;
    case 1:
        return (x & y) | (~x & z);
    case 2:
        return (x | ~y) ^ z;
    default:
        return (x & z) | (y & ~z);
    }
}

void Compress(std::array<uint32_t, 4>& h, const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        const uint8_t* p = block + 4 * i;
        x[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    uint32_t ar = h[0], br = h[1], cr = h[2], dr = h[3];
    for (unsigned j = 0; j < 64; ++j) {
        unsigned round = j / 16;
        uint32_t t = Rotl(a + RoundFunction(round, b, c, d) + x[kLeftWord[j]] + kLeftConst[round], kLeftShift[j]);
        a = d;
        d = c;
        c = b;
        b = t;
        t = Rotl(ar + RoundFunction(3 - round, br, cr, dr) + x[kRightWord[j]] + kRightConst[round], kRightShift[j]);
        ar = dr;
        dr = cr;
        cr = br;
        br = t;
    }
    uint32_t t = h[1] + c + dr;
    h[1] = h[2] + d + ar;
    h[2] = h[3] + a + br;
    h[3] = h[0] + b + cr;
    h[0] = t;
}

} // namespace

std::array<uint8_t, 16> Ripemd128(const uint8_t* data, size_t size)
{
    std::array<uint32_t, 4> h = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    size_t remaining = size;
    while (remaining >= 64) {
        Compress(h, data);
        data += 64;
        remaining -= 64;
    }
    // Padding: a one bit, zeros, then the bit length little-endian; it takes
    // a second block when fewer than nine bytes are left in the first.
    uint8_t tail[128] = {};
    if (remaining > 0) {
        std::memcpy(tail, data, remaining);
    }
    tail[remaining] = 0x80;
    size_t tailSize = remaining + 9 <= 64 ? 64 : 128;
    uint64_t bits = uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i) {
        tail[tailSize - 8 + i] = uint8_t(bits >> (8 * i));
    }
    Compress(h, tail);
    if (tailSize == 128) {
        Compress(h, tail + 64);
    }
    std::array<uint8_t, 16> digest{};
    for (int i = 0; i < 16; ++i) {
        digest[i] = uint8_t(h[i / 4] >> (8 * (i % 4)));
    }
    return digest;
}
