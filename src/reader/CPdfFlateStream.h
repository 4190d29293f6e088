#pragma once

#include <zlib.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "reader/CPdfPredictor.h"
#include "reader/CPdfFilterStream.h"

// Inflates FlateDecode data taken from a source stream, optionally undoing a
// predictor. Takes over the count its creator held on the source and releases
// it when destroyed. The whole compressed data is read at construction and
// inflated on demand in 1024-byte chunks; damaged data ends the output at the
// last chunk zlib completed without an error.
class CPdfFlateStream : public CPdfFilterStream {
public:
    CPdfFlateStream(CPdfStream* source, int32_t predictor, int32_t columns, int32_t colors,
                    int32_t bitsPerComponent);

    void Reset() override {}
    int GetChar() override
    {
        if (!m_predictor)
            return GetRawChar();
        if (m_rowRead == m_rowEnd && !NextRow())
            return -1;
        return m_row[m_rowRead++];
    }
    int GetRawChar() override
    {
        if (m_read == m_end && !Refill())
            return -1;
        return m_output[m_read++];
    }
    int PeekChar() override;

private:
    ~CPdfFlateStream() override;
    bool Refill();
    // The next decoded row of the predictor; false when the data ends
    // before a whole row.
    bool NextRow();

    // The chunk size decides how much is dropped when the data is damaged.
    static constexpr uint32_t kChunkSize = 1024;

    std::unique_ptr<CPdfPredictor> m_predictor;
    z_stream m_zstream;
    bool m_zready = false;
    bool m_finished = false;
    std::vector<uint8_t> m_input;
    std::array<uint8_t, kChunkSize> m_output;
    uint32_t m_read = 0;
    uint32_t m_end = 0;
    // With a predictor: an encoded row as inflated, and the decoded row
    // being served.
    std::vector<uint8_t> m_encodedRow;
    const uint8_t* m_row = nullptr;
    size_t m_rowRead = 0;
    size_t m_rowEnd = 0;
};
