#include "reader/CPdfDecryptStream.h"

CPdfDecryptStream::CPdfDecryptStream(CPdfStream* source, const CPdfDecryptor& decryptor)
    : CPdfFilterStream(source), m_initial(decryptor), m_decryptor(decryptor)
{
    m_input.reserve(kChunkSize);
}

CPdfDecryptStream::~CPdfDecryptStream() = default;

void CPdfDecryptStream::Reset()
{
    Source()->Reset();
    m_decryptor = m_initial;
    m_output.clear();
    m_read = 0;
    m_finished = false;
}

bool CPdfDecryptStream::Refill()
{
    m_output.clear();
    m_read = 0;
    // AES holds a block back, so a chunk of input may give no output yet.
    while (m_output.empty() && !m_finished) {
        m_input.clear();
        for (int c; m_input.size() < kChunkSize && (c = Source()->GetChar()) >= 0;)
            m_input.push_back(static_cast<uint8_t>(c));
        if (m_input.empty()) {
            m_decryptor.Finish(m_output);
            m_finished = true;
        } else {
            m_decryptor.Update(m_input.data(), m_input.size(), m_output);
        }
    }
    return !m_output.empty();
}
