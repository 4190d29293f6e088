#include "reader/CPdfMemoryStream.h"

CPdfMemoryStream::CPdfMemoryStream(const uint8_t* data, size_t length) : m_data(data), m_length(length) {}

void CPdfMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t target = origin == SEEK_FROM_END ? static_cast<int64_t>(m_length) + offset : offset;
    if (target < 0)
        target = 0;
    if (target > static_cast<int64_t>(m_length))
        target = static_cast<int64_t>(m_length);
    m_pos = static_cast<size_t>(target);
}
