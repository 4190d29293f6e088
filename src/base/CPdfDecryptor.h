#pragma once

#include <nettle/aes.h>
#include <nettle/arcfour.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Decrypts the data of one string or stream of an encrypted document, whole
// or chunk by chunk, so that a large stream can be copied through a small
// buffer. Holds its own cipher state and a copy of the key.
//
// RC4 is a key stream: every input byte gives one output byte at once.
// AES-CBC takes its IV from the first 16 bytes of the data and holds back the
// last decrypted block until Finish, which removes its padding; the output
// is therefore up to one block behind the input.
class CPdfDecryptor {
public:
    enum ECipher { CIPHER_IDENTITY, CIPHER_RC4, CIPHER_AES };
    static constexpr size_t kBlock = 16;

    // Identity: data passes unchanged.
    CPdfDecryptor();
    // An AES key is 16 or 32 bytes long (any other length passes the data
    // unchanged); an RC4 key 1 to 256 bytes.
    CPdfDecryptor(ECipher cipher, const uint8_t* key, size_t keyLength);

    ECipher GetCipher() const { return m_cipher; }

    // Appends to out what the next length bytes of the data decrypt to so
    // far: at most length + kBlock bytes.
    void Update(const uint8_t* data, size_t length, std::vector<uint8_t>& out);
    // Appends the rest once the data has ended (at most 2 * kBlock bytes:
    // data cut inside a block ends in two held blocks). The
    // decryptor must not be used afterwards.
    void Finish(std::vector<uint8_t>& out);
    // Update and Finish over a whole buffer, for strings and small streams.
    std::vector<uint8_t> DecryptAll(const uint8_t* data, size_t length);

    // How many bytes at the end of the data OutputLength needs: the last
    // block and the one before it for AES, nothing for the others.
    size_t GetTailSize(int64_t length) const;
    // The number of bytes Update and Finish give in all for data of length
    // bytes whose last GetTailSize(length) bytes are tail, so that a copy
    // can state the decrypted length before it decrypts the data.
    int64_t GetOutputLength(int64_t length, const uint8_t* tail) const;

private:
    // The padding to remove from a decrypted last block: PKCS#5, but a block
    // whose padding is not well formed keeps all its bytes, as some producers
    // pad wrongly and the data is still good.
    static size_t PaddingOf(const uint8_t* block);
    // Decrypts whole blocks in CBC mode, chaining through m_iv.
    void DecryptBlocks(const uint8_t* in, size_t length, uint8_t* out);

    ECipher m_cipher;
    bool m_aes256 = false;
    arcfour_ctx m_rc4;
    aes128_ctx m_aes128;
    aes256_ctx m_aes256ctx;
    std::array<uint8_t, kBlock> m_iv{};
    // Bytes of the IV read so far, then kBlock.
    size_t m_ivFill = 0;
    // Ciphertext of a block not yet complete.
    std::array<uint8_t, kBlock> m_partial{};
    size_t m_partialFill = 0;
    // The last decrypted block, which may carry the padding.
    std::array<uint8_t, kBlock> m_held{};
    bool m_holding = false;
};
