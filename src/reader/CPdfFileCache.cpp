#include "reader/CPdfFileCache.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/CPdfInputFile.h"

CPdfFileCache::CPdfFileCache(CPdfInputFile& file, size_t blocks, size_t blockSize)
    : m_file(&file), m_blockSize(blockSize < 1024 ? 1024 : blockSize), m_blockCount(blocks < 1 ? 1 : blocks)
{
}

CPdfFileCache::Block& CPdfFileCache::BlockAt(int64_t position)
{
    // Direct-mapped: a block's place follows from its position, so finding
    // it costs nothing however many blocks there are.
    if (m_blocks.empty())
        m_blocks.resize(m_blockCount);
    const int64_t index = position / static_cast<int64_t>(m_blockSize);
    const int64_t start = index * static_cast<int64_t>(m_blockSize);
    Block& block = m_blocks[static_cast<size_t>(index % static_cast<int64_t>(m_blocks.size()))];
    if (block.start == start)
        return block;
    block.data.resize(m_blockSize);
    ssize_t got;
    do {
        got = pread(m_file->Descriptor(), block.data.data(), m_blockSize, static_cast<off_t>(start));
    } while (got < 0 && errno == EINTR);
    block.start = start;
    block.length = got > 0 ? static_cast<size_t>(got) : 0;
    return block;
}

void CPdfFileCache::Release()
{
    std::vector<Block>().swap(m_blocks);
}

size_t CPdfFileCache::Read(int64_t position, uint8_t* out, size_t n)
{
    if (position < 0 || n == 0)
        return 0;
    Block& block = BlockAt(position);
    const size_t offset = static_cast<size_t>(position - block.start);
    if (offset >= block.length) {
        // A short block that is not the file's end (a file still growing)
        // is read again next time.
        if (block.length < m_blockSize)
            block.start = -1;
        return 0;
    }
    const size_t count = n < block.length - offset ? n : block.length - offset;
    std::memcpy(out, block.data.data() + offset, count);
    return count;
}

const uint8_t* CPdfFileCache::Span(int64_t position, size_t want, size_t& available, std::vector<uint8_t>& scratch)
{
    available = 0;
    if (position < 0 || want == 0)
        return scratch.data();
    Block& block = BlockAt(position);
    const size_t offset = static_cast<size_t>(position - block.start);
    if (offset < block.length && (want <= block.length - offset || block.length < m_blockSize)) {
        available = want < block.length - offset ? want : block.length - offset;
        return block.data.data() + offset;
    }
    scratch.resize(want);
    while (available < want) {
        const size_t got = Read(position + static_cast<int64_t>(available), scratch.data() + available, want - available);
        if (got == 0)
            break;
        available += got;
    }
    return scratch.data();
}
