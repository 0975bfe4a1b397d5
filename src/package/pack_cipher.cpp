#include "package/pack_crypto.h"

#include <cstring>

namespace {

// Every buffer starts from the same feedback, so each one deciphers on its
// own, whatever was processed before it.
void StartFeedback(const TAes128& aes, uint8_t feedback[16])
{
    uint8_t allOnes[16];
    std::memset(allOnes, 0xFF, sizeof allOnes);
    aes.EncryptBlock(allOnes, feedback);
}

// A trailing partial block is XORed with the encrypted feedback, so the
// length of a buffer never changes and both directions treat it alike.
void MaskTail(const TAes128& aes, const uint8_t feedback[16], uint8_t* tail, size_t size)
{
    if (size == 0) {
        return;
    }
    uint8_t mask[16];
    aes.EncryptBlock(feedback, mask);
    for (size_t i = 0; i < size; ++i) {
        tail[i] ^= mask[i];
    }
}

} // namespace

TPackCipher::TPackCipher(const std::string& passwordBytes)
    : m_aes(Ripemd128(reinterpret_cast<const uint8_t*>(passwordBytes.data()), passwordBytes.size()))
{
}

void TPackCipher::Encipher(uint8_t* data, size_t size) const
{
    uint8_t feedback[16];
    StartFeedback(m_aes, feedback);
    for (; size >= 16; data += 16, size -= 16) {
        uint8_t block[16];
        for (int i = 0; i < 16; ++i) {
            block[i] = data[i] ^ feedback[i];
        }
        m_aes.EncryptBlock(block, data);
        for (int i = 0; i < 16; ++i) {
            feedback[i] ^= data[i];
        }
    }
    MaskTail(m_aes, feedback, data, size);
}

void TPackCipher::Decipher(uint8_t* data, size_t size) const
{
    uint8_t feedback[16];
    StartFeedback(m_aes, feedback);
    for (; size >= 16; data += 16, size -= 16) {
        uint8_t plain[16];
        m_aes.DecryptBlock(data, plain);
        for (int i = 0; i < 16; ++i) {
            uint8_t cipherByte = data[i];
            data[i] = plain[i] ^ feedback[i];
            feedback[i] ^= cipherByte;
        }
    }
    MaskTail(m_aes, feedback, data, size);
}
