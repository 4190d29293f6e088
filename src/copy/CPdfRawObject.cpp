#include "copy/CPdfRawObject.h"

#include <vector>

#include "base/CPdfInputFile.h"
#include "base/PdfFileFormat.h"

void CPdfRawObject::Release()
{
    m_head.clear();
    // Keep a small buffer for the next object; give a large one back.
    if (m_head.capacity() > (size_t(1) << 20))
        m_head.shrink_to_fit();
    m_layout = objecttext::Layout();
    m_file = nullptr;
    m_tailPosition = 0;
    m_tailLength = 0;
    m_decryptor.reset();
    m_dataLength = 0;
    m_plainLength = 0;
    m_sourceFile = nullptr;
    m_sourcePosition = -1;
}

void CPdfRawObject::SetSource(CPdfInputFile* file, int64_t position)
{
    m_sourceFile = file;
    m_sourcePosition = position;
}

void CPdfRawObject::SetTail(CPdfInputFile* file, int64_t position, int64_t length)
{
    m_file = file;
    m_tailPosition = position;
    m_tailLength = length;
}

void CPdfRawObject::SetTailDecryption(const CPdfDecryptor& decryptor, int64_t dataLength, int64_t plainLength)
{
    m_decryptor = decryptor;
    m_dataLength = dataLength;
    m_plainLength = plainLength;
}

bool CPdfRawObject::Materialize()
{
    if (m_tailLength <= 0)
        return true;
    if (m_decryptor) {
        // The data decrypted in one piece, then the bytes after it.
        std::vector<uint8_t> data(static_cast<size_t>(m_dataLength));
        const size_t got = pdfformat::ReadAt(m_file->Descriptor(), m_tailPosition, data.data(), data.size());
        if (got < data.size())
            return false;
        std::vector<uint8_t> plain = m_decryptor->DecryptAll(data.data(), data.size());
        plain.resize(static_cast<size_t>(m_plainLength), ' ');
        m_head.append(reinterpret_cast<const char*>(plain.data()), plain.size());
        m_tailPosition += m_dataLength;
        m_tailLength -= m_dataLength;
        m_decryptor.reset();
    }
    const size_t old = m_head.size();
    m_head.resize(old + static_cast<size_t>(m_tailLength));
    const size_t got = pdfformat::ReadAt(m_file->Descriptor(), m_tailPosition,
                                         reinterpret_cast<uint8_t*>(m_head.data()) + old,
                                         static_cast<size_t>(m_tailLength));
    m_tailLength = 0;
    if (got < m_head.size() - old) {
        m_head.resize(old + got);
        m_sourcePosition = -1;
        return false;
    }
    return true;
}
