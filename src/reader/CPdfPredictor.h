#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CPdfFlateStream;

// Undoes a PNG (10-15) or TIFF (2) predictor row by row over the inflated
// bytes of its owner. Other predictor values pass the bytes through, still in
// whole rows. Parameters that give no sensible row (Columns, Colors or
// BitsPerComponent out of range) make the data end at once.
class CPdfPredictor {
public:
    CPdfPredictor(CPdfFlateStream* owner, int32_t predictor, int32_t columns, int32_t colors,
                  int32_t bitsPerComponent);

    // The next decoded byte, or -1.
    int GetChar()
    {
        if (m_readIndex >= m_rowSize && !FetchRow())
            return -1;
        return m_row[static_cast<size_t>(m_readIndex++)];
    }
    int PeekChar()
    {
        if (m_readIndex >= m_rowSize && !FetchRow())
            return -1;
        return m_row[static_cast<size_t>(m_readIndex)];
    }

    // Byte filters of one PNG row, exposed so that tests can drive them
    // directly: row holds bpp zero bytes, then the previous decoded row,
    // which is replaced by the decoded current row.
    static uint8_t Paeth(uint8_t left, uint8_t up, uint8_t upperLeft);
    // Adds to every sample the sample `colors` positions before it, modulo
    // 2^bits; samples are packed from the most significant bit of data[0].
    static void UndoHorizontalDifferencing(uint8_t* data, int64_t samples, int32_t colors, int32_t bits);

private:
    bool FetchRow();

    // Longest row accepted: the data we decode (cross-reference and object
    // streams) has rows of a few bytes; this only stops absurd parameters.
    static constexpr int64_t kMaxRowSize = 1 << 20;

    CPdfFlateStream* m_owner;
    int32_t m_predictor;
    int32_t m_colors;
    int32_t m_bitsPerComponent;
    int64_t m_valuesPerRow = 0;
    int32_t m_bytesPerPixel = 0;
    int32_t m_rowSize = 0;
    bool m_usable = false;
    std::vector<uint8_t> m_row;
    int32_t m_readIndex = 0;
};
