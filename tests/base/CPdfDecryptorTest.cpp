// CPdfDecryptor: whole and chunked decryption agree, AES padding is removed
// only when it is well formed, and the output length is known from the tail.
#include <gtest/gtest.h>

#include "base/CPdfDecryptor.h"
#include "support/EncryptTestKit.h"

namespace {

using encrypttest::Pkcs5;

const uint8_t kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

// IV, then the padded data in CBC mode, as a writer makes it.
std::string AesEncrypt(size_t keyLength, const std::string& padded)
{
    return encrypttest::AesCbc(kKey, keyLength, "0123456789abcdef", padded);
}

std::string Whole(CPdfDecryptor d, const std::string& data)
{
    const std::vector<uint8_t> out = d.DecryptAll(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return std::string(out.begin(), out.end());
}

// Fed in pieces of the given size, checking the bound on each piece's output.
std::string Chunked(CPdfDecryptor d, const std::string& data, size_t piece)
{
    std::vector<uint8_t> out;
    for (size_t at = 0; at < data.size(); at += piece) {
        const size_t before = out.size(), n = std::min(piece, data.size() - at);
        d.Update(reinterpret_cast<const uint8_t*>(data.data()) + at, n, out);
        EXPECT_LE(out.size() - before, n + CPdfDecryptor::kBlock);
    }
    const size_t before = out.size();
    d.Finish(out);
    EXPECT_LE(out.size() - before, 2 * CPdfDecryptor::kBlock);
    return std::string(out.begin(), out.end());
}

}  // namespace

TEST(CPdfDecryptorTest, WholeChunkedAndStatedLengthAgree)
{
    struct Row {
        const char* name;
        CPdfDecryptor decryptor;
        std::string data, expected;
    };
    const auto aes = [](const char* name, const std::string& data, const std::string& expected, size_t keyLength = 16) {
        return Row{name, CPdfDecryptor(CPdfDecryptor::CIPHER_AES, kKey, keyLength), data, expected};
    };
    const std::string text = "The quick brown fox jumps over the lazy dog, twice over and again.";
    std::vector<Row> rows;
    for (size_t n : {0, 1, 15, 16, 17, 31, 32, 33, 66}) {
        const std::string plain = text.substr(0, n);
        rows.push_back(aes("AES-128", AesEncrypt(16, Pkcs5(plain)), plain));
        rows.push_back(aes("AES-256", AesEncrypt(32, Pkcs5(plain)), plain, 32));
        rows.push_back({"RC4", CPdfDecryptor(CPdfDecryptor::CIPHER_RC4, kKey, 5), encrypttest::Rc4(kKey, 5, plain), plain});
        rows.push_back({"identity", CPdfDecryptor(), plain, plain});
    }
    // Padding that is not well formed stays in the data.
    const std::string t13 = text.substr(0, 13), t15 = text.substr(0, 15), t16 = text.substr(0, 16);
    for (const std::string& padded : {t16, t15 + '\0', t15 + "\x11", t13 + "\x01\x02\x03"})
        rows.push_back(aes("bad padding", AesEncrypt(16, padded), padded));
    rows.push_back(aes("pad 1", AesEncrypt(16, t15 + "\x01"), t15));
    // Only an IV, or less: nothing.
    for (const char* data : {"0123456789abcdef", "0123456789", ""})
        rows.push_back(aes("IV only", data, ""));
    // A cut last block is filled with zeros: the whole blocks before it stay
    // (the rest decrypts to noise).
    rows.push_back(aes("cut block", AesEncrypt(16, Pkcs5(text.substr(0, 20))).substr(0, 40), t16));
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " of " + std::to_string(row.data.size()) + " bytes");
        const std::string whole = Whole(row.decryptor, row.data);
        EXPECT_EQ(whole.substr(0, std::string(row.name) == "cut block" ? 16 : std::string::npos), row.expected);
        for (size_t piece : {1, 5, 16, 17, 40})
            EXPECT_EQ(Chunked(row.decryptor, row.data, piece), whole) << "pieces of " << piece;
        const size_t tail = row.decryptor.GetTailSize(int64_t(row.data.size()));
        ASSERT_LE(tail, row.data.size());
        const auto* end = reinterpret_cast<const uint8_t*>(row.data.data()) + row.data.size();
        EXPECT_EQ(row.decryptor.GetOutputLength(int64_t(row.data.size()), end - tail), int64_t(whole.size()));
    }
    // Keys of other lengths pass data unchanged.
    for (const auto& [cipher, length] : {std::pair{CPdfDecryptor::CIPHER_AES, size_t(24)}, {CPdfDecryptor::CIPHER_AES, 5},
                                         {CPdfDecryptor::CIPHER_RC4, 0}}) {
        EXPECT_EQ(CPdfDecryptor(cipher, kKey, length).GetCipher(), CPdfDecryptor::CIPHER_IDENTITY);
        EXPECT_EQ(Whole(CPdfDecryptor(cipher, kKey, length), "abc"), "abc");
    }
}
