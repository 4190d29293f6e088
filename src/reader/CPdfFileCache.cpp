#include "reader/CPdfFileCache.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

CPdfFileCache::CPdfFileCache(int fd) : m_fd(fd) {}

size_t CPdfFileCache::Read(int64_t position, uint8_t* out, size_t n)
{
    if (position < 0 || n == 0)
        return 0;
    const int64_t start = position - position % static_cast<int64_t>(kBlockSize);
    Block* block = nullptr;
    for (Block& b : m_blocks) {
        if (b.start == start) {
            block = &b;
            break;
        }
    }
    if (block == nullptr) {
        block = &m_blocks[0];
        for (Block& b : m_blocks)
            if (b.lastUse < block->lastUse)
                block = &b;
        block->data.resize(kBlockSize);
        ssize_t got;
        do {
            got = pread(m_fd, block->data.data(), kBlockSize, static_cast<off_t>(start));
        } while (got < 0 && errno == EINTR);
        block->start = start;
        block->length = got > 0 ? static_cast<size_t>(got) : 0;
    }
    block->lastUse = ++m_clock;
    const size_t offset = static_cast<size_t>(position - start);
    if (offset >= block->length) {
        // A short block that is not the file's end (a file still growing)
        // is read again next time.
        if (block->length < kBlockSize)
            block->start = -1;
        return 0;
    }
    const size_t count = n < block->length - offset ? n : block->length - offset;
    std::memcpy(out, block->data.data() + offset, count);
    return count;
}
