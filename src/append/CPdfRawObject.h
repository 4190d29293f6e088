#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "append/PdfObjectText.h"

// The bytes of one indirect object as it is copied: "N G obj", its value,
// "endobj" and one byte more. A large stream object keeps only the part up
// to its data in memory; the rest stays in the input file until it is
// written (or materialised), so memory does not grow with an object's size.
class CPdfRawObject {
public:
    CPdfRawObject() = default;
    CPdfRawObject(const CPdfRawObject&) = delete;
    CPdfRawObject& operator=(const CPdfRawObject&) = delete;
    CPdfRawObject(CPdfRawObject&&) = default;
    CPdfRawObject& operator=(CPdfRawObject&&) = default;

    void Release();
    bool IsEmpty() const { return GetLength() == 0; }
    size_t GetLength() const { return m_head.size() + static_cast<size_t>(m_tailLength); }

    // The bytes held in memory: the whole object unless it has a tail.
    const uint8_t* GetHead() const { return reinterpret_cast<const uint8_t*>(m_head.data()); }
    uint32_t GetHeadLength() const { return static_cast<uint32_t>(m_head.size()); }
    std::string& Head() { return m_head; }
    bool HasTail() const { return m_tailLength > 0; }

    void SetTail(int fd, int64_t position, int64_t length);

    // The token layout of the head (header, references, "stream" split).
    const objecttext::Layout& GetLayout() const { return m_layout; }
    objecttext::Layout& Layout() { return m_layout; }
    // Reads the tail into memory; false when the file gives fewer bytes.
    bool Materialize();
    // Appends the tail's bytes to out in chunks through write(data, n).
    template <typename WriteFn>
    void CopyTail(WriteFn write) const;

private:
    std::string m_head;
    objecttext::Layout m_layout;
    int m_fd = -1;
    int64_t m_tailPosition = 0;
    int64_t m_tailLength = 0;
};

#include <vector>

#include "append/PdfByteSearch.h"

template <typename WriteFn>
void CPdfRawObject::CopyTail(WriteFn write) const
{
    if (m_tailLength <= 0)
        return;
    constexpr size_t kChunk = 1 << 20;
    std::vector<uint8_t> buffer(static_cast<size_t>(m_tailLength < int64_t(kChunk) ? m_tailLength : int64_t(kChunk)));
    int64_t position = m_tailPosition;
    int64_t left = m_tailLength;
    while (left > 0) {
        const size_t want = static_cast<size_t>(left < int64_t(buffer.size()) ? left : int64_t(buffer.size()));
        const size_t got = bytesearch::ReadAt(m_fd, position, buffer.data(), want);
        // A file that shrank under us: keep the object's length (and the
        // table's offsets) right with filler bytes.
        if (got < want)
            std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.begin() + static_cast<std::ptrdiff_t>(want),
                      uint8_t(' '));
        write(buffer.data(), want);
        position += static_cast<int64_t>(want);
        left -= static_cast<int64_t>(want);
    }
}
