#pragma once

#include <cstdint>
#include <vector>

#include "base/CPdfDecryptor.h"
#include "reader/CPdfFilterStream.h"

// The decrypted data of a stream object of an encrypted document, read from
// its raw window; the filters of the stream are put on top of it. Takes over
// the count its creator held on the source and releases it when destroyed.
// Decrypts a few kilobytes at a time, so even a large stream costs no more.
class CPdfDecryptStream : public CPdfFilterStream {
public:
    CPdfDecryptStream(CPdfStream* source, const CPdfDecryptor& decryptor);

    // Starts again from the first byte of the data.
    void Reset() override;
    int GetChar() override
    {
        if (m_read == m_output.size() && !Refill())
            return -1;
        return m_output[m_read++];
    }
    int PeekChar() override
    {
        if (m_read == m_output.size() && !Refill())
            return -1;
        return m_output[m_read];
    }
    // GetLength is the encrypted length: decryption never makes data
    // longer, so readers that bound their reads by it read everything.

private:
    ~CPdfDecryptStream() override;
    bool Refill();

    static constexpr size_t kChunkSize = 4096;

    const CPdfDecryptor m_initial;
    CPdfDecryptor m_decryptor;
    std::vector<uint8_t> m_input;
    std::vector<uint8_t> m_output;
    size_t m_read = 0;
    bool m_finished = false;
};
