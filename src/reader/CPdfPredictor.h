#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Undoes a PNG (10-15) or TIFF (2) predictor, one row at a time, bytes in and
// bytes out: the flate stream hands over each encoded row (the PNG tag byte
// and the row) and serves the decoded one. Other predictor values pass the
// bytes through, still in whole rows. Parameters that give no sensible row
// (Columns, Colors or BitsPerComponent out of range) make it unusable: the
// data then ends at once.
class CPdfPredictor {
public:
    CPdfPredictor(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent);

    bool IsUsable() const { return m_usable; }
    // The bytes of one row as encoded (with the tag byte of PNG rows) and
    // as decoded.
    size_t GetEncodedRowSize() const { return static_cast<size_t>(m_rowSize - m_bytesPerPixel) + (m_png ? 1 : 0); }
    size_t GetRowSize() const { return static_cast<size_t>(m_rowSize - m_bytesPerPixel); }
    // Decodes the next row from GetEncodedRowSize bytes; the decoded
    // GetRowSize bytes are valid until the next call. Only when usable.
    const uint8_t* DecodeRow(const uint8_t* encoded);

    // Byte filters of one row, exposed so that tests can drive them
    // directly.
    static uint8_t Paeth(uint8_t left, uint8_t up, uint8_t upperLeft);
    // Adds to every sample the sample `colors` positions before it, modulo
    // 2^bits; samples are packed from the most significant bit of data[0].
    static void UndoHorizontalDifferencing(uint8_t* data, int64_t samples, int32_t colors, int32_t bits);

private:
    // Longest row accepted: the data we decode (cross-reference and object
    // streams) has rows of a few bytes; this only stops absurd parameters.
    static constexpr int64_t kMaxRowSize = 1 << 20;

    int32_t m_predictor;
    int32_t m_colors;
    int32_t m_bitsPerComponent;
    bool m_png;
    int64_t m_valuesPerRow = 0;
    int32_t m_bytesPerPixel = 0;
    int32_t m_rowSize = 0;  // bytes of a decoded row and the bpp zero bytes before it
    bool m_usable = false;
    // bpp zero bytes, then the previous decoded row, which the next one
    // replaces.
    std::vector<uint8_t> m_row;
};
