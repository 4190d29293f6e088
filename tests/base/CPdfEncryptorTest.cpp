// Encrypting a string or stream as a writer of an encrypted document does:
// what the ciphers make of it, checked against nettle applied directly, and
// the decryptor taking it back.
#include <gtest/gtest.h>

#include "base/CPdfDecryptor.h"
#include "base/CPdfEncryptor.h"
#include "support/EncryptTestKit.h"

namespace {

const uint8_t* Bytes(const std::string& s)
{
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string Decrypt(CPdfDecryptor::ECipher cipher, const std::string& key, const std::string& data)
{
    CPdfDecryptor decryptor(cipher, Bytes(key), key.size());
    const std::vector<uint8_t> plain = decryptor.DecryptAll(Bytes(data), data.size());
    return std::string(plain.begin(), plain.end());
}

}  // namespace

TEST(CPdfEncryptorTest, EachCipherAsAWriterAppliesItAndBackAgain)
{
    const std::string key16 = "0123456789abcdef", key32 = key16 + "fedcba9876543210", key5 = "k5key";
    const std::string iv = "initialisation!!";
    for (const std::string& plain : {std::string(), std::string("x"), std::string(16, 'a'), std::string(1000, '\0')}) {
        const CPdfEncryptor rc4(CPdfDecryptor::CIPHER_RC4, Bytes(key5), key5.size());
        EXPECT_EQ(rc4.EncryptAll(plain), encrypttest::Rc4(Bytes(key5), key5.size(), plain));
        EXPECT_EQ(Decrypt(CPdfDecryptor::CIPHER_RC4, key5, rc4.EncryptAll(plain)), plain);
        for (const std::string& key : {key16, key32}) {
            const CPdfEncryptor aes(CPdfDecryptor::CIPHER_AES, Bytes(key), key.size());
            // The IV first, then whole blocks: a full block of padding
            // after data that fills its last block.
            EXPECT_EQ(aes.EncryptAll(plain, Bytes(iv)),
                      encrypttest::AesCbc(Bytes(key), key.size(), iv, encrypttest::Pkcs5(plain)));
            const std::string random = aes.EncryptAll(plain);
            EXPECT_EQ(random.size(), 16 + (plain.size() / 16 + 1) * 16);
            EXPECT_NE(random.substr(0, 16), aes.EncryptAll(plain).substr(0, 16)) << "the IV is not fresh";
            EXPECT_EQ(Decrypt(CPdfDecryptor::CIPHER_AES, key, random), plain);
        }
    }
    // A key no cipher takes leaves the data as it is.
    const CPdfEncryptor odd(CPdfDecryptor::CIPHER_AES, Bytes(key5), key5.size());
    EXPECT_EQ(odd.GetCipher(), CPdfDecryptor::CIPHER_IDENTITY);
    EXPECT_EQ(odd.EncryptAll("clear"), "clear");
}
