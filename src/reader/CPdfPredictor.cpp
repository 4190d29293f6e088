#include "reader/CPdfPredictor.h"

#include <cstdlib>

CPdfPredictor::CPdfPredictor(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent)
    : m_predictor(predictor), m_colors(colors), m_bitsPerComponent(bitsPerComponent), m_png(predictor >= 10)
{
    if (columns < 1 || colors < 1 || bitsPerComponent < 1 || bitsPerComponent > 16)
        return;
    const int64_t values = static_cast<int64_t>(columns) * colors;
    const int64_t bpp = (static_cast<int64_t>(colors) * bitsPerComponent + 7) >> 3;
    if (values > kMaxRowSize * 8 || bpp > kMaxRowSize)
        return;
    const int64_t rowSize = ((values * bitsPerComponent + 7) >> 3) + bpp;
    if (rowSize > kMaxRowSize)
        return;
    m_valuesPerRow = values;
    m_bytesPerPixel = static_cast<int32_t>(bpp);
    m_rowSize = static_cast<int32_t>(rowSize);
    m_row.assign(static_cast<size_t>(rowSize), 0);
    m_usable = true;
}

uint8_t CPdfPredictor::Paeth(uint8_t left, uint8_t up, uint8_t upperLeft)
{
    const int p = left + up - upperLeft;
    const int pa = std::abs(p - left);
    const int pb = std::abs(p - up);
    const int pc = std::abs(p - upperLeft);
    if (pa <= pb && pa <= pc)
        return left;
    if (pb <= pc)
        return up;
    return upperLeft;
}

void CPdfPredictor::UndoHorizontalDifferencing(uint8_t* data, int64_t samples, int32_t colors, int32_t bits)
{
    if (bits == 8) {
        for (int64_t i = colors; i < samples; ++i)
            data[i] = static_cast<uint8_t>(data[i] + data[i - colors]);
        return;
    }
    auto getSample = [&](int64_t index) {
        uint32_t value = 0;
        int64_t bit = index * bits;
        for (int32_t b = 0; b < bits; ++b, ++bit)
            value = (value << 1) | ((data[bit >> 3] >> (7 - (bit & 7))) & 1u);
        return value;
    };
    auto setSample = [&](int64_t index, uint32_t value) {
        int64_t bit = index * bits + bits - 1;
        for (int32_t b = 0; b < bits; ++b, --bit) {
            const uint8_t mask = static_cast<uint8_t>(1u << (7 - (bit & 7)));
            if (value & 1u)
                data[bit >> 3] |= mask;
            else
                data[bit >> 3] &= static_cast<uint8_t>(~mask);
            value >>= 1;
        }
    };
    const uint32_t modMask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
    for (int64_t i = colors; i < samples; ++i)
        setSample(i, (getSample(i) + getSample(i - colors)) & modMask);
}

const uint8_t* CPdfPredictor::DecodeRow(const uint8_t* encoded)
{
    int filter = m_predictor;
    if (m_png)
        filter = *encoded++ + 10;
    const int32_t bpp = m_bytesPerPixel;
    uint8_t* row = m_row.data();
    // The previous row's byte at i - bpp is needed after that position has
    // already been overwritten by the current row, so keep it aside.
    uint8_t upperLeftCarry[64];
    std::vector<uint8_t> carryBig;
    uint8_t* carry = upperLeftCarry;
    if (bpp > 64) {
        carryBig.assign(static_cast<size_t>(bpp), 0);
        carry = carryBig.data();
    }
    for (int32_t k = 0; k < bpp; ++k)
        carry[k] = 0;
    for (int32_t i = bpp; i < m_rowSize; ++i) {
        const uint8_t raw = encoded[i - bpp];
        const uint8_t up = row[i];
        const uint8_t left = row[i - bpp];
        const int32_t slot = (i - bpp) % bpp;
        const uint8_t upperLeft = (i - bpp) < bpp ? 0 : carry[slot];
        carry[slot] = up;
        uint8_t value;
        switch (filter) {
        case 11:
            value = static_cast<uint8_t>(raw + left);
            break;
        case 12:
            value = static_cast<uint8_t>(raw + up);
            break;
        case 13:
            value = static_cast<uint8_t>(raw + ((left + up) >> 1));
            break;
        case 14:
            value = static_cast<uint8_t>(raw + Paeth(left, up, upperLeft));
            break;
        default:
            value = static_cast<uint8_t>(raw);
            break;
        }
        row[i] = value;
    }
    if (m_predictor == 2)
        UndoHorizontalDifferencing(row + bpp, m_valuesPerRow, m_colors, m_bitsPerComponent);
    return row + bpp;
}
