#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "reader/CPdfFileCache.h"

class CPdfInputFile;
#include "object/CPdfStream.h"

// A window onto an open PDF file: a start offset and an optional length
// (0 = to the end of the file). Every window of a document shares the
// document's one input file, so each refill reads at its own absolute
// position and never relies on where the handle was left. Borrows the file;
// holds a copy (one count) of its dictionary value.
class CPdfFileStream final : public CPdfStream {
public:
    CPdfFileStream(CPdfInputFile* file, int64_t start, int64_t length, const CPdfObject& dict);
    // A window that reads through a cache shared with the windows made from
    // it (the whole-file stream makes one; sub-streams inherit it).
    CPdfFileStream(CPdfInputFile* file, int64_t start, int64_t length, const CPdfObject& dict,
                   std::shared_ptr<CPdfFileCache> cache);

    void Reset() override;
    int GetChar() override
    {
        if (m_read == m_end && !Refill())
            return -1;
        return m_buffer[m_read++];
    }
    int PeekChar() override
    {
        if (m_read == m_end && !Refill())
            return -1;
        return m_buffer[m_read];
    }
    CPdfDictionary* GetDict() override;
    int64_t GetPosition() override;
    void Seek(int64_t offset, int origin) override;
    int64_t GetStart() override;
    void ShiftStart(int64_t delta) override;
    int64_t GetLength() override;
    CPdfStream* CreateSubStream(int64_t start, int64_t length, const CPdfObject& dict) override;

    // A window of length 0 runs to the end of the file; a stream object whose
    // /Length is 0 has no data at all, which this marks.
    void MarkEmpty() { m_empty = true; }

private:
    ~CPdfFileStream() override;
    bool Refill();

    // Large enough that the lexer rarely pays for a system call; windows
    // never read past their own end.
    static constexpr uint32_t kBufferSize = 4096;

    CPdfObject m_dict;
    CPdfInputFile* m_file;
    std::shared_ptr<CPdfFileCache> m_cache;
    int64_t m_start;
    int64_t m_length;
    int64_t m_bufferPos;
    uint32_t m_read = 0;
    uint32_t m_end = 0;
    // Set when a refill found no data, so that a lexer peeking at the end
    // does not ask the file again; any repositioning clears it.
    bool m_atEnd = false;
    bool m_empty = false;
    std::array<uint8_t, kBufferSize> m_buffer;
};
