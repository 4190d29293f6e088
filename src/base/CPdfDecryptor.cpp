#include "base/CPdfDecryptor.h"

#include <nettle/cbc.h>

#include <algorithm>
#include <cstring>

namespace {

// nettle's CBC helpers call the block function through a generic pointer
// type; these wrappers have exactly that type, so no call goes through a
// mismatched function pointer.
void Aes128Decrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes128_decrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}

void Aes256Decrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes256_decrypt(static_cast<const aes256_ctx*>(ctx), length, dst, src);
}

}  // namespace

CPdfDecryptor::CPdfDecryptor() : m_cipher(CIPHER_IDENTITY) {}

CPdfDecryptor::CPdfDecryptor(ECipher cipher, const uint8_t* key, size_t keyLength) : m_cipher(cipher)
{
    if (cipher == CIPHER_RC4 && keyLength >= ARCFOUR_MIN_KEY_SIZE && keyLength <= ARCFOUR_MAX_KEY_SIZE) {
        arcfour_set_key(&m_rc4, keyLength, key);
    } else if (cipher == CIPHER_AES && keyLength == AES128_KEY_SIZE) {
        aes128_set_decrypt_key(&m_aes128, key);
    } else if (cipher == CIPHER_AES && keyLength == AES256_KEY_SIZE) {
        aes256_set_decrypt_key(&m_aes256ctx, key);
        m_aes256 = true;
    } else {
        m_cipher = CIPHER_IDENTITY;
    }
}

void CPdfDecryptor::DecryptBlocks(const uint8_t* in, size_t length, uint8_t* out)
{
    if (m_aes256)
        cbc_decrypt(&m_aes256ctx, Aes256Decrypt, kBlock, m_iv.data(), length, out, in);
    else
        cbc_decrypt(&m_aes128, Aes128Decrypt, kBlock, m_iv.data(), length, out, in);
}

void CPdfDecryptor::Update(const uint8_t* data, size_t length, std::vector<uint8_t>& out)
{
    if (m_cipher == CIPHER_IDENTITY) {
        out.insert(out.end(), data, data + length);
        return;
    }
    if (m_cipher == CIPHER_RC4) {
        const size_t base = out.size();
        out.resize(base + length);
        arcfour_crypt(&m_rc4, length, out.data() + base, data);
        return;
    }
    // Emits the held block and decrypts n whole blocks, holding back the
    // last of them: only Finish knows which block is the last one.
    auto emitBlocks = [&](const uint8_t* blocks, size_t n) {
        if (m_holding)
            out.insert(out.end(), m_held.begin(), m_held.end());
        const size_t base = out.size();
        out.resize(base + n);
        DecryptBlocks(blocks, n, out.data() + base);
        std::memcpy(m_held.data(), out.data() + out.size() - kBlock, kBlock);
        out.resize(out.size() - kBlock);
        m_holding = true;
    };
    while (length > 0 && m_ivFill < kBlock) {
        m_iv[m_ivFill++] = *data++;
        --length;
    }
    if (m_partialFill > 0) {
        const size_t take = std::min(kBlock - m_partialFill, length);
        std::memcpy(m_partial.data() + m_partialFill, data, take);
        m_partialFill += take;
        data += take;
        length -= take;
        if (m_partialFill < kBlock)
            return;
        m_partialFill = 0;
        emitBlocks(m_partial.data(), kBlock);
    }
    const size_t whole = length / kBlock * kBlock;
    if (whole > 0)
        emitBlocks(data, whole);
    std::memcpy(m_partial.data(), data + whole, length - whole);
    m_partialFill = length - whole;
}

size_t CPdfDecryptor::PaddingOf(const uint8_t* block)
{
    const uint8_t pad = block[kBlock - 1];
    if (pad == 0 || pad > kBlock)
        return 0;
    for (size_t i = kBlock - pad; i < kBlock; ++i)
        if (block[i] != pad)
            return 0;
    return pad;
}

void CPdfDecryptor::Finish(std::vector<uint8_t>& out)
{
    if (m_cipher != CIPHER_AES)
        return;
    // Data that stops inside a block is not what any writer should make;
    // filling the block with zeros, as other readers do, keeps the whole
    // blocks before it good.
    if (m_partialFill > 0) {
        std::fill(m_partial.begin() + static_cast<ptrdiff_t>(m_partialFill), m_partial.end(), 0);
        if (m_holding)
            out.insert(out.end(), m_held.begin(), m_held.end());
        DecryptBlocks(m_partial.data(), kBlock, m_held.data());
        m_holding = true;
        m_partialFill = 0;
    }
    if (m_holding) {
        out.insert(out.end(), m_held.begin(), m_held.end() - static_cast<ptrdiff_t>(PaddingOf(m_held.data())));
        m_holding = false;
    }
}

std::vector<uint8_t> CPdfDecryptor::DecryptAll(const uint8_t* data, size_t length)
{
    std::vector<uint8_t> out;
    out.reserve(length);
    Update(data, length, out);
    Finish(out);
    return out;
}

size_t CPdfDecryptor::GetTailSize(int64_t length) const
{
    if (m_cipher != CIPHER_AES || length <= static_cast<int64_t>(kBlock))
        return 0;
    const size_t last = static_cast<size_t>((length - static_cast<int64_t>(kBlock)) % kBlock);
    return kBlock + (last == 0 ? kBlock : last);
}

int64_t CPdfDecryptor::GetOutputLength(int64_t length, const uint8_t* tail) const
{
    if (m_cipher != CIPHER_AES)
        return length;
    if (length <= static_cast<int64_t>(kBlock))
        return 0;
    const int64_t data = length - static_cast<int64_t>(kBlock);
    const int64_t blocks = (data + static_cast<int64_t>(kBlock) - 1) / static_cast<int64_t>(kBlock);
    // The last block decrypts with the block before it (or the IV) as its
    // chaining value, which is all the padding depends on.
    const size_t tailSize = GetTailSize(length);
    std::array<uint8_t, kBlock> iv, last{}, plain;
    std::memcpy(iv.data(), tail, kBlock);
    std::memcpy(last.data(), tail + kBlock, tailSize - kBlock);
    if (m_aes256)
        cbc_decrypt(&m_aes256ctx, Aes256Decrypt, kBlock, iv.data(), kBlock, plain.data(), last.data());
    else
        cbc_decrypt(&m_aes128, Aes128Decrypt, kBlock, iv.data(), kBlock, plain.data(), last.data());
    return blocks * static_cast<int64_t>(kBlock) - static_cast<int64_t>(PaddingOf(plain.data()));
}
