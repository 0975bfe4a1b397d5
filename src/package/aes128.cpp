#include "package/pack_crypto.h"

namespace {

constexpr uint8_t XTime(uint8_t x)
{
    return uint8_t((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

constexpr uint8_t GfMul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1) {
            product ^= a;
        }
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

struct TAesTables {
    uint8_t sbox[256];
    uint8_t inverseSbox[256];
    uint32_t te[4][256];
    uint32_t td[4][256];
};

constexpr uint32_t Rotr8(uint32_t x)
{
    return (x >> 8) | (x << 24);
}

// The S-box is derived (multiplicative inverse, then the affine map) rather
// than typed in, so that a single mistyped entry cannot slip through.
constexpr TAesTables MakeAesTables()
{
    TAesTables t{};
    for (int x = 0; x < 256; ++x) {
        uint8_t inverse = 0;
        for (int y = 1; y < 256 && x != 0; ++y) {
            if (GfMul(uint8_t(x), uint8_t(y)) == 1) {
                inverse = uint8_t(y);
                break;
            }
        }
        uint8_t s = inverse;
        for (int shift = 1; shift <= 4; ++shift) {
            s ^= uint8_t((inverse << shift) | (inverse >> (8 - shift)));
        }
        s ^= 0x63;
        t.sbox[x] = s;
        t.inverseSbox[s] = uint8_t(x);
    }
    // Column words are big-endian: the state's first row in the top byte.
    for (int x = 0; x < 256; ++x) {
        uint8_t s = t.sbox[x];
        uint32_t e = uint32_t(GfMul(s, 2)) << 24 | uint32_t(s) << 16 | uint32_t(s) << 8 | GfMul(s, 3);
        uint8_t i = t.inverseSbox[x];
        uint32_t d =
            uint32_t(GfMul(i, 14)) << 24 | uint32_t(GfMul(i, 9)) << 16 | uint32_t(GfMul(i, 13)) << 8 | GfMul(i, 11);
        for (int k = 0; k < 4; ++k) {
            t.te[k][x] = e;
            t.td[k][x] = d;
            e = Rotr8(e);
            d = Rotr8(d);
        }
    }
    return t;
}

constexpr TAesTables kAes = MakeAesTables();

uint32_t LoadBig(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void StoreBig(uint32_t w, uint8_t* p)
{
    p[0] = uint8_t(w >> 24);
    p[1] = uint8_t(w >> 16);
    p[2] = uint8_t(w >> 8);
    p[3] = uint8_t(w);
}

uint32_t SubWord(uint32_t w)
{
    return uint32_t(kAes.sbox[w >> 24]) << 24 | uint32_t(kAes.sbox[(w >> 16) & 0xFF]) << 16 |
           uint32_t(kAes.sbox[(w >> 8) & 0xFF]) << 8 | kAes.sbox[w & 0xFF];
}

// The td tables include the inverse S-box, so feeding them S-box outputs
// leaves only InvMixColumns.
uint32_t InvMixColumn(uint32_t w)
{
    return kAes.td[0][kAes.sbox[w >> 24]] ^ kAes.td[1][kAes.sbox[(w >> 16) & 0xFF]] ^
           kAes.td[2][kAes.sbox[(w >> 8) & 0xFF]] ^ kAes.td[3][kAes.sbox[w & 0xFF]];
}

} // namespace

TAes128::TAes128(const std::array<uint8_t, 16>& key)
{
    for (int i = 0; i < 4; ++i) {
        m_encryptKeys[i] = LoadBig(key.data() + 4 * i);
    }
    uint8_t rcon = 0x01;
    for (int i = 4; i < 44; ++i) {
        uint32_t w = m_encryptKeys[i - 1];
        if (i % 4 == 0) {
            w = SubWord((w << 8) | (w >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = XTime(rcon);
        }
        m_encryptKeys[i] = m_encryptKeys[i - 4] ^ w;
    }
    // The equivalent inverse cipher: round keys in reverse order, with
    // InvMixColumns applied to the inner ones, so decryption uses the same
    // table-driven round shape as encryption.
    for (int round = 0; round <= 10; ++round) {
        for (int c = 0; c < 4; ++c) {
            uint32_t w = m_encryptKeys[4 * (10 - round) + c];
            m_decryptKeys[4 * round + c] = (round == 0 || round == 10) ? w : InvMixColumn(w);
        }
    }
}

void TAes128::EncryptBlock(const uint8_t in[16], uint8_t out[16]) const
{
    const uint32_t* rk = m_encryptKeys.data();
    uint32_t s0 = LoadBig(in) ^ rk[0];
    uint32_t s1 = LoadBig(in + 4) ^ rk[1];
    uint32_t s2 = LoadBig(in + 8) ^ rk[2];
    uint32_t s3 = LoadBig(in + 12) ^ rk[3];
    const auto& te = kAes.te;
    for (int round = 1; round < 10; ++round) {
        rk += 4;
        uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xFF] ^ te[2][(s2 >> 8) & 0xFF] ^ te[3][s3 & 0xFF] ^ rk[0];
        uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xFF] ^ te[2][(s3 >> 8) & 0xFF] ^ te[3][s0 & 0xFF] ^ rk[1];
        uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xFF] ^ te[2][(s0 >> 8) & 0xFF] ^ te[3][s1 & 0xFF] ^ rk[2];
        uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xFF] ^ te[2][(s1 >> 8) & 0xFF] ^ te[3][s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    // The last round has no MixColumns: S-box and ShiftRows only.
    const uint8_t* sb = kAes.sbox;
    auto last = [sb](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return uint32_t(sb[a >> 24]) << 24 | uint32_t(sb[(b >> 16) & 0xFF]) << 16 | uint32_t(sb[(c >> 8) & 0xFF]) << 8 |
               sb[d & 0xFF];
    };
    StoreBig(last(s0, s1, s2, s3) ^ rk[0], out);
    StoreBig(last(s1, s2, s3, s0) ^ rk[1], out + 4);
    StoreBig(last(s2, s3, s0, s1) ^ rk[2], out + 8);
    StoreBig(last(s3, s0, s1, s2) ^ rk[3], out + 12);
}

void TAes128::DecryptBlock(const uint8_t in[16], uint8_t out[16]) const
{
    const uint32_t* rk = m_decryptKeys.data();
    uint32_t s0 = LoadBig(in) ^ rk[0];
    uint32_t s1 = LoadBig(in + 4) ^ rk[1];
    uint32_t s2 = LoadBig(in + 8) ^ rk[2];
    uint32_t s3 = LoadBig(in + 12) ^ rk[3];
    const auto& td = kAes.td;
    for (int round = 1; round < 10; ++round) {
        rk += 4;
        uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xFF] ^ td[2][(s2 >> 8) & 0xFF] ^ td[3][s1 & 0xFF] ^ rk[0];
        uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xFF] ^ td[2][(s3 >> 8) & 0xFF] ^ td[3][s2 & 0xFF] ^ rk[1];
        uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xFF] ^ td[2][(s0 >> 8) & 0xFF] ^ td[3][s3 & 0xFF] ^ rk[2];
        uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xFF] ^ td[2][(s1 >> 8) & 0xFF] ^ td[3][s0 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    // Inverse ShiftRows takes each row from the column to the left.
    const uint8_t* isb = kAes.inverseSbox;
    auto last = [isb](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return uint32_t(isb[a >> 24]) << 24 | uint32_t(isb[(b >> 16) & 0xFF]) << 16 |
               uint32_t(isb[(c >> 8) & 0xFF]) << 8 | isb[d & 0xFF];
    };
    StoreBig(last(s0, s3, s2, s1) ^ rk[0], out);
    StoreBig(last(s1, s0, s3, s2) ^ rk[1], out + 4);
    StoreBig(last(s2, s1, s0, s3) ^ rk[2], out + 8);
    StoreBig(last(s3, s2, s1, s0) ^ rk[3], out + 12);
}
