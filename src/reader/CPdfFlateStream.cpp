#include "reader/CPdfFlateStream.h"

#include <cstring>

CPdfFlateStream::CPdfFlateStream(CPdfStream* source, int32_t predictor, int32_t columns, int32_t colors,
                                 int32_t bitsPerComponent)
    : CPdfFilterStream(source)
{
    // Read what the window holds, at most its length; a window cut short by
    // the end of the file simply gives less (such a stream object is refused
    // for its missing "endstream" anyway), so a huge /Length never makes us
    // allocate more than the file has.
    const int64_t length = source->GetLength();
    if (length > 0) {
        m_input.reserve(static_cast<size_t>(length < (1 << 24) ? length : (1 << 24)));
        for (int64_t i = 0; i < length; ++i) {
            const int c = source->GetChar();
            if (c < 0)
                break;
            m_input.push_back(static_cast<uint8_t>(c));
        }
    }
    std::memset(&m_zstream, 0, sizeof(m_zstream));
    m_zstream.next_in = m_input.data();
    m_zstream.avail_in = static_cast<uInt>(m_input.size());
    m_zready = inflateInit(&m_zstream) == Z_OK;
    if (predictor != 1)
        m_predictor = std::make_unique<CPdfPredictor>(predictor, columns, colors, bitsPerComponent);
}

CPdfFlateStream::~CPdfFlateStream()
{
    if (m_zready)
        inflateEnd(&m_zstream);
    m_predictor.reset();
}

int CPdfFlateStream::PeekChar()
{
    if (m_predictor) {
        if (m_rowRead == m_rowEnd && !NextRow())
            return -1;
        return m_row[m_rowRead];
    }
    if (m_read == m_end && !Refill())
        return -1;
    return m_output[m_read];
}

bool CPdfFlateStream::NextRow()
{
    if (!m_predictor->IsUsable())
        return false;
    m_encodedRow.resize(m_predictor->GetEncodedRowSize());
    for (uint8_t& byte : m_encodedRow) {
        const int c = GetRawChar();
        if (c < 0)
            return false;
        byte = static_cast<uint8_t>(c);
    }
    m_row = m_predictor->DecodeRow(m_encodedRow.data());
    m_rowRead = 0;
    m_rowEnd = m_predictor->GetRowSize();
    return true;
}

bool CPdfFlateStream::Refill()
{
    m_read = m_end = 0;
    // Not ended on avail_in == 0 alone: zlib may still hold output for input
    // it has already consumed, and a chunk that produces nothing ends it.
    if (!m_zready || m_finished)
        return false;
    m_zstream.next_out = m_output.data();
    m_zstream.avail_out = kChunkSize;
    const int result = inflate(&m_zstream, Z_FINISH);
    const uint32_t produced = kChunkSize - m_zstream.avail_out;
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        m_finished = true;
        return false;
    }
    if (produced == 0) {
        m_finished = true;
        return false;
    }
    m_end = produced;
    return true;
}
