#include "append/CPdfRawObject.h"

#include "main/PdfFileFormat.h"

void CPdfRawObject::Release()
{
    m_head.clear();
    // Keep a small buffer for the next object; give a large one back.
    if (m_head.capacity() > (size_t(1) << 20))
        m_head.shrink_to_fit();
    m_layout = objecttext::Layout();
    m_fd = -1;
    m_tailPosition = 0;
    m_tailLength = 0;
}

void CPdfRawObject::SetTail(int fd, int64_t position, int64_t length)
{
    m_fd = fd;
    m_tailPosition = position;
    m_tailLength = length;
}

bool CPdfRawObject::Materialize()
{
    if (m_tailLength <= 0)
        return true;
    const size_t old = m_head.size();
    m_head.resize(old + static_cast<size_t>(m_tailLength));
    const size_t got = pdfformat::ReadAt(m_fd, m_tailPosition, reinterpret_cast<uint8_t*>(m_head.data()) + old,
                                          static_cast<size_t>(m_tailLength));
    m_tailLength = 0;
    if (got < m_head.size() - old) {
        m_head.resize(old + got);
        return false;
    }
    return true;
}
