#pragma once

#include <cstddef>

class CPdfInputFile;

// Bounds the descriptors a job's inputs hold open at once: beyond the
// bound, the file used least recently is closed (it opens again when next
// read). Below the bound nothing is ever closed, so a job of a few inputs
// opens each one once.
class CPdfInputFilePool {
public:
    explicit CPdfInputFilePool(size_t limit);
    CPdfInputFilePool(const CPdfInputFilePool&) = delete;
    CPdfInputFilePool& operator=(const CPdfInputFilePool&) = delete;
    ~CPdfInputFilePool();

    // The bound for this process: its limit of open descriptors, raised to
    // the hard limit first, less a reserve for the output, standard streams
    // and libraries.
    static size_t ProcessLimit();

    size_t GetLimit() const { return m_limit; }
    size_t GetOpenCount() const { return m_open; }
    // How many times a closed file was opened again.
    size_t GetReopenCount() const { return m_reopened; }

private:
    friend class CPdfInputFile;

    // Before file opens: closes the least recently used files until one
    // more fits; false when none is left to close.
    bool MakeRoom();
    // The least recently used file is closed to answer EMFILE.
    bool CloseOldest();
    void Add(CPdfInputFile& file);
    void Remove(CPdfInputFile& file);
    void MoveToFront(CPdfInputFile& file);

    size_t m_limit;
    size_t m_open = 0;
    size_t m_reopened = 0;
    CPdfInputFile* m_newest = nullptr;
    CPdfInputFile* m_oldest = nullptr;
};
