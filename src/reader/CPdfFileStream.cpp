#include "reader/CPdfFileStream.h"

#include <unistd.h>

#include <cerrno>

#include "base/CPdfInputFile.h"
#include "object/CPdfDictionary.h"

CPdfFileStream::CPdfFileStream(CPdfInputFile* file, int64_t start, int64_t length, const CPdfObject& dict)
    : m_file(file), m_start(start), m_length(length), m_bufferPos(start)
{
    m_dict.CopyFrom(dict);
    Seek(start, SEEK_FROM_BEGIN);
}

CPdfFileStream::CPdfFileStream(CPdfInputFile* file, int64_t start, int64_t length, const CPdfObject& dict,
                               std::shared_ptr<CPdfFileCache> cache)
    : CPdfFileStream(file, start, length, dict)
{
    m_cache = std::move(cache);
}

CPdfFileStream::~CPdfFileStream() = default;

void CPdfFileStream::Reset()
{
    Seek(m_start, SEEK_FROM_BEGIN);
}

CPdfDictionary* CPdfFileStream::GetDict()
{
    return m_dict.GetKind() == OBJ_DICTIONARY ? m_dict.GetDictionary() : nullptr;
}

int64_t CPdfFileStream::GetPosition()
{
    return m_bufferPos + static_cast<int64_t>(m_read);
}

void CPdfFileStream::Seek(int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == SEEK_FROM_END)
        target = m_file->GetSize() + offset;
    // A seek before the start of the file fails and leaves the position at
    // the beginning; the next refill then reads from there.
    if (target < 0)
        target = 0;
    m_read = m_end = 0;
    m_atEnd = false;
    m_bufferPos = target;
}

int64_t CPdfFileStream::GetStart()
{
    return m_start;
}

void CPdfFileStream::ShiftStart(int64_t delta)
{
    m_start += delta;
    m_read = m_end = 0;
    m_atEnd = false;
    m_bufferPos = m_start;
}

int64_t CPdfFileStream::GetLength()
{
    return m_length;
}

CPdfStream* CPdfFileStream::CreateSubStream(int64_t start, int64_t length, const CPdfObject& dict)
{
    return new CPdfFileStream(m_file, start, length, dict, m_cache);
}

bool CPdfFileStream::Refill()
{
    m_bufferPos += static_cast<int64_t>(m_end);
    m_read = m_end = 0;
    if (m_atEnd || m_empty)
        return false;
    m_atEnd = true;
    uint32_t n = kBufferSize;
    if (m_length != 0) {
        const int64_t limit = m_start + m_length;
        if (m_bufferPos >= limit)
            return false;
        if (limit - m_bufferPos < static_cast<int64_t>(n))
            n = static_cast<uint32_t>(limit - m_bufferPos);
    }
    if (m_bufferPos < 0)
        return false;
    ssize_t got;
    if (m_cache) {
        got = static_cast<ssize_t>(m_cache->Read(m_bufferPos, m_buffer.data(), n));
    } else {
        do {
            got = pread(m_file->Descriptor(), m_buffer.data(), n, static_cast<off_t>(m_bufferPos));
        } while (got < 0 && errno == EINTR);
    }
    if (got <= 0)
        return false;
    m_end = static_cast<uint32_t>(got);
    m_atEnd = false;
    return true;
}
