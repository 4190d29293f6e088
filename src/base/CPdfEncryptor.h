#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/CPdfDecryptor.h"

// Encrypts one whole string or stream of an encrypted document, the way its
// decryptor takes it back: RC4 as a key stream, AES in CBC mode with a fresh
// random IV written before the data and PKCS#5 padding after it. Holds a
// copy of the key.
class CPdfEncryptor {
public:
    // Identity: data passes unchanged.
    CPdfEncryptor() = default;
    // The cipher and key of CPdfDecryptor's constructor; any key it would
    // not take gives the identity.
    CPdfEncryptor(CPdfDecryptor::ECipher cipher, const uint8_t* key, size_t keyLength);

    CPdfDecryptor::ECipher GetCipher() const { return m_cipher; }

    // The encrypted form of data; raises "Unexpected exception" when no
    // random IV can be had.
    std::string EncryptAll(const std::string& data) const;
    // The same with a given IV (kBlock bytes), for tests.
    std::string EncryptAll(const std::string& data, const uint8_t* iv) const;

private:
    CPdfDecryptor::ECipher m_cipher = CPdfDecryptor::CIPHER_IDENTITY;
    std::string m_key;
};
