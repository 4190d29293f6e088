#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CPdfInputFile;

// A few recently read blocks of one input file, shared by all windows of a
// document. Fetching a document's pages opens a window per object, mostly
// close to the previous one; served from here they cost a copy instead of a
// system call each.
class CPdfFileCache {
public:
    explicit CPdfFileCache(CPdfInputFile& file, size_t blocks = 4, size_t blockSize = 64 * 1024);
    CPdfFileCache(const CPdfFileCache&) = delete;
    CPdfFileCache& operator=(const CPdfFileCache&) = delete;

    // Copies up to n bytes at position into out (fewer at the end of a block
    // or of the file); returns the count, 0 at the end or on an error.
    size_t Read(int64_t position, uint8_t* out, size_t n);

    // Up to want contiguous bytes at position: a pointer into a block when
    // they lie in one, else into scratch, where they are gathered. available
    // tells how many there are (fewer at the end of the file). The pointer is
    // valid until the next call.
    const uint8_t* Span(int64_t position, size_t want, size_t& available, std::vector<uint8_t>& scratch);

    // Frees the blocks' memory; they are read again when next needed. A job
    // of many inputs keeps every reader open but works on one at a time.
    void Release();

private:

    struct Block {
        int64_t start = -1;
        size_t length = 0;
        std::vector<uint8_t> data;
    };

    // The block holding position (read when missing).
    Block& BlockAt(int64_t position);

    CPdfInputFile* m_file;
    size_t m_blockSize;
    size_t m_blockCount;
    // Made when first read: a job of many inputs holds a cache for each.
    std::vector<Block> m_blocks;
};
