#pragma once

#include <cstddef>

class CPdfInputFile;

// Bounds the descriptors a job's inputs hold open at once: beyond the
// bound, one is closed (it opens again when next read). Below the bound
// nothing is ever closed, so a job of a few inputs opens each one once.
//
// The job reads its inputs in turn, pass after pass (opening them, each
// merge's planning, the copy). Closing the file used least recently would
// close, at every step of such a pass, the one the pass needs soonest, and
// every file would be opened again on every pass. The file closed is the
// third most recently used instead: most files stay open from one pass to
// the next, and the two used last (the input being copied, and one it is
// compared with) are never the one closed.
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

    // Before a file opens: closes files until one more fits; false when
    // none is left to close.
    bool MakeRoom();
    // Closes one file (see above); false when none is open. Also answers
    // EMFILE, when others hold descriptors too.
    bool CloseOne();
    void Add(CPdfInputFile& file);
    void Remove(CPdfInputFile& file);
    void MoveToFront(CPdfInputFile& file);

    size_t m_limit;
    size_t m_open = 0;
    size_t m_reopened = 0;
    CPdfInputFile* m_newest = nullptr;
    CPdfInputFile* m_oldest = nullptr;
};
