// CPdfDecryptor: whole and chunked decryption agree, AES padding is removed
// only when it is well formed, and the output length is known from the tail.
#include <gtest/gtest.h>

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>

#include <string>
#include <vector>

#include "reader/CPdfDecryptor.h"

namespace {

const uint8_t kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

void Aes128Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes128_encrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}

void Aes256Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes256_encrypt(static_cast<const aes256_ctx*>(ctx), length, dst, src);
}

// IV, then the padded data in CBC mode, as a writer makes it; pad gives the
// padding bytes to append (empty: PKCS#5).
std::string AesEncrypt(size_t keyLength, const std::string& plain, std::string pad = "-")
{
    if (pad == "-")
        pad = std::string(16 - plain.size() % 16, static_cast<char>(16 - plain.size() % 16));
    std::string data = plain + pad;
    std::string iv = "0123456789abcdef";
    std::string out(data.size(), '\0');
    uint8_t chain[16];
    std::copy(iv.begin(), iv.end(), chain);
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    const auto* src = reinterpret_cast<const uint8_t*>(data.data());
    if (keyLength == 16) {
        aes128_ctx ctx;
        aes128_set_encrypt_key(&ctx, kKey);
        cbc_encrypt(&ctx, Aes128Encrypt, 16, chain, data.size(), dst, src);
    } else {
        aes256_ctx ctx;
        aes256_set_encrypt_key(&ctx, kKey);
        cbc_encrypt(&ctx, Aes256Encrypt, 16, chain, data.size(), dst, src);
    }
    return iv + out;
}

std::string Rc4Encrypt(const std::string& plain)
{
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, 5, kKey);
    std::string out(plain.size(), '\0');
    arcfour_crypt(&ctx, plain.size(), reinterpret_cast<uint8_t*>(out.data()),
                  reinterpret_cast<const uint8_t*>(plain.data()));
    return out;
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

int64_t LengthFromTail(const CPdfDecryptor& d, const std::string& data)
{
    const size_t tail = d.GetTailSize(static_cast<int64_t>(data.size()));
    EXPECT_LE(tail, data.size());
    return d.GetOutputLength(static_cast<int64_t>(data.size()),
                             reinterpret_cast<const uint8_t*>(data.data()) + data.size() - tail);
}

}  // namespace

TEST(CPdfDecryptorTest, WholeChunkedAndStatedLengthAgree)
{
    struct Row {
        const char* name;
        CPdfDecryptor decryptor;
        std::string data;
        std::string expected;
    };
    const std::string text = "The quick brown fox jumps over the lazy dog, twice over and again.";
    std::vector<Row> rows;
    for (size_t n : {0, 1, 15, 16, 17, 31, 32, 33, 66}) {
        const std::string plain = text.substr(0, n);
        rows.push_back({"AES-128", CPdfDecryptor(CPdfDecryptor::CIPHER_AES, kKey, 16), AesEncrypt(16, plain), plain});
        rows.push_back({"AES-256", CPdfDecryptor(CPdfDecryptor::CIPHER_AES, kKey, 32), AesEncrypt(32, plain), plain});
        rows.push_back({"RC4", CPdfDecryptor(CPdfDecryptor::CIPHER_RC4, kKey, 5), Rc4Encrypt(plain), plain});
        rows.push_back({"identity", CPdfDecryptor(), plain, plain});
    }
    const std::string block = text.substr(0, 16);
    const std::string fifteen = text.substr(0, 15);
    const auto aes = [](const char* name, const std::string& data, const std::string& expected) {
        return Row{name, CPdfDecryptor(CPdfDecryptor::CIPHER_AES, kKey, 16), data, expected};
    };
    // Padding that is not well formed stays in the data.
    rows.push_back(aes("no padding", AesEncrypt(16, block, ""), block));
    rows.push_back(aes("pad 0", AesEncrypt(16, fifteen, std::string(1, '\0')), fifteen + '\0'));
    rows.push_back(aes("pad 17", AesEncrypt(16, fifteen, "\x11"), fifteen + "\x11"));
    rows.push_back(aes("mixed pad", AesEncrypt(16, text.substr(0, 13), "\x01\x02\x03"), text.substr(0, 13) + "\x01\x02\x03"));
    rows.push_back(aes("pad 1", AesEncrypt(16, fifteen, "\x01"), fifteen));
    // Only an IV, or less: nothing.
    rows.push_back(aes("IV only", "0123456789abcdef", ""));
    rows.push_back(aes("short IV", "0123456789", ""));
    rows.push_back(aes("empty", "", ""));
    // A cut last block is filled with zeros: the whole blocks before it stay.
    const std::string two = AesEncrypt(16, text.substr(0, 20));  // IV + 2 blocks
    rows.push_back(aes("cut block", two.substr(0, 40), text.substr(0, 16)));
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " of " + std::to_string(row.data.size()) + " bytes");
        const std::string whole = Whole(row.decryptor, row.data);
        if (std::string(row.name) == "cut block")
            EXPECT_EQ(whole.substr(0, 16), row.expected);  // the rest decrypts to noise
        else
            EXPECT_EQ(whole, row.expected);
        for (size_t piece : {1, 5, 16, 17, 40})
            EXPECT_EQ(Chunked(row.decryptor, row.data, piece), whole) << "pieces of " << piece;
        EXPECT_EQ(LengthFromTail(row.decryptor, row.data), static_cast<int64_t>(whole.size()));
    }
}

TEST(CPdfDecryptorTest, KeysOfOtherLengthsPassDataUnchanged)
{
    for (const auto& [cipher, length] : {std::pair{CPdfDecryptor::CIPHER_AES, size_t(24)}, {CPdfDecryptor::CIPHER_AES, 5},
                                         {CPdfDecryptor::CIPHER_RC4, 0}}) {
        CPdfDecryptor d(cipher, kKey, length);
        EXPECT_EQ(d.GetCipher(), CPdfDecryptor::CIPHER_IDENTITY);
        EXPECT_EQ(Whole(d, "abc"), "abc");
    }
}
