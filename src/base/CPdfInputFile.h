#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "base/CPdfInputFilePool.h"

// One input file, read only at explicit offsets. A job may hold more inputs
// than the process may keep open: the pool then closes some of their
// descriptors (see CPdfInputFilePool), and Descriptor opens a file again
// when it is next read, refusing a file that is no longer the one first
// opened (another file put at its name, or its bytes changed), since
// offsets taken from it would no longer hold.
class CPdfInputFile : private CPdfInputFilePool::Member {
public:
    // Opens path for reading; raises "Can't open file" with the reason when
    // it cannot, or when it is not a regular file. Without a pool the file
    // stays open until it is destroyed.
    explicit CPdfInputFile(const std::string& path, CPdfInputFilePool* pool = nullptr);
    CPdfInputFile(const CPdfInputFile&) = delete;
    CPdfInputFile& operator=(const CPdfInputFile&) = delete;
    ~CPdfInputFile();

    // The open descriptor, valid until the next Descriptor call of another
    // file of the same pool; raises "Can't open file" when the file cannot
    // be opened again as it was.
    int Descriptor()
    {
        if (m_fd >= 0 && !IsBehind())
            return m_fd;
        return Reopen();
    }

    const std::string& GetPath() const { return m_path; }
    // The length when first opened: everything read lies before it, however
    // the file grows later (an update appended in place).
    int64_t GetSize() const { return m_size; }
    bool IsOpen() const { return m_fd >= 0; }
    // Keeps the descriptor open for the file's whole life, out of the pool's
    // reach: the file an update is appended to, whose length then changes.
    void Pin();

private:
    // The slow path of Descriptor: marks the file as the most recently used
    // one, opening it again first when the pool closed it.
    int Reopen();
    // Opens the file, closing others of the pool to make room; raises
    // "Can't open file" when it cannot.
    int OpenWithRoom();
    int OpenDescriptor() const;

    std::string m_path;
    int64_t m_size = 0;
    // What names this file and this content: checked on every reopening.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    int64_t m_modifiedSeconds = 0;
    int64_t m_modifiedNanoseconds = 0;
};
