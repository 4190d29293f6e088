#include "base/CPdfEncryptor.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <sys/random.h>

#include <array>
#include <cerrno>

#include "base/CPdfException.h"
#include "base/Messages.h"

namespace {

// nettle's CBC helper calls the block function through a generic pointer
// type; these wrappers have exactly that type.
void Aes128Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes128_encrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}

void Aes256Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes256_encrypt(static_cast<const aes256_ctx*>(ctx), length, dst, src);
}

const uint8_t* Bytes(const std::string& s)
{
    return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

CPdfEncryptor::CPdfEncryptor(CPdfDecryptor::ECipher cipher, const uint8_t* key, size_t keyLength)
{
    const bool rc4 = cipher == CPdfDecryptor::CIPHER_RC4 && keyLength >= ARCFOUR_MIN_KEY_SIZE &&
                     keyLength <= ARCFOUR_MAX_KEY_SIZE;
    const bool aes = cipher == CPdfDecryptor::CIPHER_AES && (keyLength == AES128_KEY_SIZE || keyLength == AES256_KEY_SIZE);
    if (rc4 || aes) {
        m_cipher = cipher;
        m_key.assign(reinterpret_cast<const char*>(key), keyLength);
    }
}

std::string CPdfEncryptor::EncryptAll(const std::string& data) const
{
    std::array<uint8_t, CPdfDecryptor::kBlock> iv{};
    if (m_cipher == CPdfDecryptor::CIPHER_AES) {
        size_t got = 0;
        while (got < iv.size()) {
            const ssize_t n = getrandom(iv.data() + got, iv.size() - got, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw CPdfException(msg::kUnexpected).BecauseOf("no random bytes for an AES IV", errno);
            got += static_cast<size_t>(n);
        }
    }
    return EncryptAll(data, iv.data());
}

std::string CPdfEncryptor::EncryptAll(const std::string& data, const uint8_t* iv) const
{
    switch (m_cipher) {
    case CPdfDecryptor::CIPHER_RC4: {
        arcfour_ctx rc4;
        arcfour_set_key(&rc4, m_key.size(), Bytes(m_key));
        std::string out(data.size(), '\0');
        arcfour_crypt(&rc4, data.size(), reinterpret_cast<uint8_t*>(out.data()), Bytes(data));
        return out;
    }
    case CPdfDecryptor::CIPHER_AES: {
        constexpr size_t kBlock = CPdfDecryptor::kBlock;
        // PKCS#5: 1 to 16 bytes, each the count.
        std::string plain = data;
        const size_t pad = kBlock - plain.size() % kBlock;
        plain.append(pad, static_cast<char>(pad));
        std::string out(reinterpret_cast<const char*>(iv), kBlock);
        out.resize(kBlock + plain.size());
        std::array<uint8_t, kBlock> chain;
        std::copy(iv, iv + kBlock, chain.begin());
        uint8_t* to = reinterpret_cast<uint8_t*>(out.data()) + kBlock;
        if (m_key.size() == AES256_KEY_SIZE) {
            aes256_ctx ctx;
            aes256_set_encrypt_key(&ctx, Bytes(m_key));
            cbc_encrypt(&ctx, Aes256Encrypt, kBlock, chain.data(), plain.size(), to, Bytes(plain));
        } else {
            aes128_ctx ctx;
            aes128_set_encrypt_key(&ctx, Bytes(m_key));
            cbc_encrypt(&ctx, Aes128Encrypt, kBlock, chain.data(), plain.size(), to, Bytes(plain));
        }
        return out;
    }
    default:
        return data;
    }
}
