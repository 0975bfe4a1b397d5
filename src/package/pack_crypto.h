#pragma once
// The checksum, digest and cipher of the package container.
//
// PackCrc: the reflected CRC-32 table of polynomial 0xEDB88320 with the
// register starting at the given value (0 for a fresh sum) and no final
// inversion, so that sums can be continued; "abc" gives 0xCA6598D0.
// Ripemd128: the 16-byte RIPEMD-128 digest.
// TAes128: AES with a 128-bit key (10 rounds), one 16-byte block at a time.
// TPackCipher: the container's chaining over a whole buffer with a fresh
// state per buffer; the length never changes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

uint32_t PackCrc(const uint8_t* data, size_t size, uint32_t crc = 0);

std::array<uint8_t, 16> Ripemd128(const uint8_t* data, size_t size);

class TAes128 {
public:
    explicit TAes128(const std::array<uint8_t, 16>& key);
    void EncryptBlock(const uint8_t in[16], uint8_t out[16]) const;
    void DecryptBlock(const uint8_t in[16], uint8_t out[16]) const;

private:
    std::array<uint32_t, 44> m_encryptKeys{};
    std::array<uint32_t, 44> m_decryptKeys{};
};

class TPackCipher {
public:
    // The key is the RIPEMD-128 digest of the password's bytes as stored
    // (one byte per character, no terminator).
    explicit TPackCipher(const std::string& passwordBytes);
    void Encipher(uint8_t* data, size_t size) const;
    void Decipher(uint8_t* data, size_t size) const;

private:
    TAes128 m_aes;
};
