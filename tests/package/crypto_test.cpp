// The package container's checksum, digest and cipher, against the published
// test vectors and, for the chaining, against the block primitive.
#include "package/pack_crypto.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Bytes(const std::string& text)
{
    return TBytes(text.begin(), text.end());
}

std::array<uint8_t, 16> Block(const std::string& hex)
{
    std::array<uint8_t, 16> block{};
    for (size_t i = 0; i < 16; ++i) {
        block[i] = uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return block;
}

template <typename TContainer> std::string ToHex(const TContainer& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

TBytes RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    TBytes bytes(size);
    for (uint8_t& b : bytes) {
        b = uint8_t(generator());
    }
    return bytes;
}

} // namespace

TEST(CryptoCrc, MatchesTheKnownSums)
{
    // The usual CRC-32 check values start from all ones and invert at the
    // end; the package sum leaves both to its caller.
    const std::pair<std::string, uint32_t> cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto& [text, standardCrc32] : cases) {
        TBytes data = Bytes(text);
        EXPECT_EQ(PackCrc(data.data(), data.size(), 0xFFFFFFFFu) ^ 0xFFFFFFFFu, standardCrc32) << text;
    }
    TBytes abc = Bytes("abc");
    EXPECT_EQ(PackCrc(abc.data(), abc.size()), 0xCA6598D0u);
}

TEST(CryptoCrc, EqualsTheBitwiseSumAtEveryLengthAlignmentAndSplit)
{
    // The register shifted one bit at a time, straight from the polynomial,
    // checks the wide table path and the byte-wise remainder alike.
    TBytes data = RandomBytes(80, 7);
    for (size_t begin = 0; begin < 8; ++begin) {
        uint32_t bitwise = 0;
        for (size_t end = begin; end <= data.size(); ++end) {
            ASSERT_EQ(PackCrc(data.data() + begin, end - begin), bitwise) << begin << ".." << end;
            if (end < data.size()) {
                bitwise ^= data[end];
                for (int bit = 0; bit < 8; ++bit) {
                    bitwise = (bitwise & 1) ? (bitwise >> 1) ^ 0xEDB88320u : bitwise >> 1;
                }
            }
        }
    }
    uint32_t whole = PackCrc(data.data(), data.size());
    for (size_t split = 0; split <= data.size(); ++split) {
        EXPECT_EQ(PackCrc(data.data() + split, data.size() - split, PackCrc(data.data(), split)), whole) << split;
    }
}

TEST(CryptoRipemd128, MatchesThePublishedVectors)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "cdf26213a150dc3ecb610f18f6b38b46"},
        {"a", "86be7afa339d0fc7cfc785e72f578d33"},
        {"abc", "c14a12199c66e4ba84636b0f69144c77"},
        {"message digest", "9e327b3d6e523062afc1132d7df9d1b8"},
        {"abcdefghijklmnopqrstuvwxyz", "fd2aa607f71dc8f510714922b371834e"},
        // 56 bytes: the bit length no longer fits, so padding takes a second block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "a1aa0689d0fafa2ddc22e88b49133a06"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d1e959eb179c911faea4624c60c5c702"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "3f45ef194732c2dbb2c4a2c769795fa3"},
        {std::string(1000000, 'a'), "4a7f5723f954eba1216c9d8f6320431f"},
    };
    for (const auto& [message, digest] : cases) {
        TBytes data = Bytes(message);
        EXPECT_EQ(ToHex(Ripemd128(data.data(), data.size())), digest) << message.substr(0, 80);
    }
}

TEST(CryptoAes128, MatchesTheFipsVectorsBothWays)
{
    // Key, plaintext, ciphertext: appendix C.1, then appendix B.
    const std::string cases[][3] = {
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    };
    for (const auto& [key, plain, cipher] : cases) {
        TAes128 aes(Block(key));
        std::array<uint8_t, 16> out{};
        aes.EncryptBlock(Block(plain).data(), out.data());
        EXPECT_EQ(ToHex(out), cipher);
        aes.DecryptBlock(Block(cipher).data(), out.data());
        EXPECT_EQ(ToHex(out), plain);
    }
}

TEST(CryptoPackCipher, DecipheringRestoresEveryLength)
{
    TPackCipher cipher("s3cret");
    for (size_t size : {0, 1, 15, 16, 17, 100, 4096 + 7}) {
        TBytes plain = RandomBytes(size, uint32_t(size) + 1);
        TBytes data = plain;
        cipher.Encipher(data.data(), data.size());
        EXPECT_TRUE(size == 0 || data != plain) << size;
        cipher.Decipher(data.data(), data.size());
        EXPECT_EQ(data, plain) << size;
    }
}

TEST(CryptoPackCipher, ChainsBlocksAndMasksTheTailAsTheContainerDoes)
{
    // Two full blocks and an 8-byte tail, restated through the block
    // primitive with the key taken from the password's digest. The password
    // holds a zero byte and one above 0x7F: every stored byte counts.
    const std::string password("am\0bi\xE9nt", 8);
    const TBytes plain = RandomBytes(40, 5);
    TBytes passwordBytes = Bytes(password);
    TAes128 aes(Ripemd128(passwordBytes.data(), passwordBytes.size()));

    std::array<uint8_t, 16> feedback{};
    aes.EncryptBlock(Block("ffffffffffffffffffffffffffffffff").data(), feedback.data());
    TBytes expected(40);
    for (size_t offset = 0; offset < 32; offset += 16) {
        std::array<uint8_t, 16> mixed{};
        for (size_t i = 0; i < 16; ++i) {
            mixed[i] = plain[offset + i] ^ feedback[i];
        }
        aes.EncryptBlock(mixed.data(), expected.data() + offset);
        for (size_t i = 0; i < 16; ++i) {
            feedback[i] ^= expected[offset + i];
        }
    }
    std::array<uint8_t, 16> mask{};
    aes.EncryptBlock(feedback.data(), mask.data());
    for (size_t i = 32; i < 40; ++i) {
        expected[i] = plain[i] ^ mask[i - 32];
    }

    TPackCipher cipher(password);
    TBytes data = plain;
    cipher.Encipher(data.data(), data.size());
    EXPECT_EQ(ToHex(data), ToHex(expected));
    cipher.Decipher(expected.data(), expected.size());
    EXPECT_EQ(ToHex(expected), ToHex(plain));
}

TEST(CryptoPackCipher, ABufferShorterThanABlockIsOnlyMasked)
{
    TBytes passwordBytes = Bytes("tail");
    TAes128 aes(Ripemd128(passwordBytes.data(), passwordBytes.size()));
    std::array<uint8_t, 16> feedback{};
    std::array<uint8_t, 16> mask{};
    aes.EncryptBlock(Block("ffffffffffffffffffffffffffffffff").data(), feedback.data());
    aes.EncryptBlock(feedback.data(), mask.data());

    TPackCipher cipher("tail");
    for (size_t size : {1, 8, 15}) {
        TBytes plain = RandomBytes(size, uint32_t(size));
        TBytes data = plain;
        cipher.Encipher(data.data(), data.size());
        for (size_t i = 0; i < size; ++i) {
            EXPECT_EQ(data[i], plain[i] ^ mask[i]) << size << ":" << i;
        }
        cipher.Decipher(data.data(), data.size());
        EXPECT_EQ(data, plain) << size;
    }
}

TEST(CryptoPackCipher, EachCallStartsFromAFreshState)
{
    TPackCipher cipher("pw");
    const TBytes plain = RandomBytes(50, 9);
    TBytes first = plain;
    TBytes second = plain;
    cipher.Encipher(first.data(), first.size());
    cipher.Encipher(second.data(), second.size());
    EXPECT_EQ(first, second);
    TBytes other = RandomBytes(33, 10);
    cipher.Decipher(other.data(), other.size());
    cipher.Decipher(first.data(), first.size());
    EXPECT_EQ(first, plain);
}
