#pragma once

#include <cstddef>

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
    // What the pool keeps in the order of use: a file's descriptor, which
    // the pool may close (CPdfInputFile opens it again).
    class Member {
    public:
        Member(const Member&) = delete;
        Member& operator=(const Member&) = delete;

    protected:
        explicit Member(CPdfInputFilePool* pool) : m_pool(pool) {}
        ~Member();
        CPdfInputFilePool* GetPool() const { return m_pool; }
        // Leaves the pool for good: the member closes itself from now on.
        void LeavePool();
        // Open and not the most recently used: Used must be told.
        bool IsBehind() const { return m_newer != nullptr; }
        // Closes the descriptor, if open.
        void CloseDescriptor();

        // The descriptor, -1 while closed.
        int m_fd = -1;

    private:
        friend class CPdfInputFilePool;
        CPdfInputFilePool* m_pool;
        Member* m_newer = nullptr;
        Member* m_older = nullptr;
        bool m_listed = false;
    };

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
    // How many times a closed member was opened again.
    size_t GetReopenCount() const { return m_reopened; }

    // Before a member opens: closes members until one more fits; false when
    // none is left to close.
    bool MakeRoom();
    // Closes one member (see above); false when none is open. Also answers
    // EMFILE, when others hold descriptors too.
    bool CloseOne();
    // A member's descriptor opened (again, when reopened)...
    void Opened(Member& member, bool reopened);
    // ... was used ...
    void Used(Member& member);
    // ... or closed.
    void Closed(Member& member);

private:
    void Add(Member& member);
    void Remove(Member& member);

    size_t m_limit;
    size_t m_open = 0;
    size_t m_reopened = 0;
    Member* m_newest = nullptr;
    Member* m_oldest = nullptr;
};
