#include "base/PdfByteSearch.h"

#include <cstring>
#include <vector>

#include "base/PdfFileFormat.h"

namespace bytesearch {

uint32_t FindPattern(const uint8_t* buffer, uint32_t start, uint32_t length, const char* pattern,
                     uint32_t patternLength)
{
    if (patternLength == 0 || start >= length || length - start < patternLength)
        return 0;
    const uint8_t first = static_cast<uint8_t>(pattern[0]);
    const uint8_t* p = buffer + start;
    const uint8_t* last = buffer + length - patternLength;
    while (p <= last) {
        p = static_cast<const uint8_t*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
        if (p == nullptr)
            return 0;
        if (std::memcmp(p, pattern, patternLength) == 0)
            return static_cast<uint32_t>(p - buffer) + patternLength - 1;
        ++p;
    }
    return 0;
}

int64_t FindInFile(int fd, int64_t position, const char* pattern, uint32_t patternLength)
{
    if (position < 0 || patternLength == 0)
        return 0;
    // Objects are usually small: start with a small read and grow it, so
    // that finding the end of a short object costs one small read and a
    // long stream is still searched in large steps.
    size_t chunkSize = 4096;
    constexpr size_t kMaxChunk = 256 * 1024;
    std::vector<uint8_t> chunk;
    const int64_t overlap = patternLength - 1;
    for (;;) {
        chunk.resize(chunkSize);
        const size_t got = pdfformat::ReadAt(fd, position, chunk.data(), chunkSize);
        const uint32_t found = FindPattern(chunk.data(), 0, static_cast<uint32_t>(got), pattern, patternLength);
        if (found != 0)
            return position + found;
        if (got < chunkSize || got <= static_cast<size_t>(overlap))
            return 0;
        position += static_cast<int64_t>(got) - overlap;
        if (chunkSize < kMaxChunk)
            chunkSize *= 2;
    }
}

}  // namespace bytesearch
