#include "base/CPdfInputFilePool.h"

#include <sys/resource.h>

#include "base/CPdfInputFile.h"

namespace {
// Descriptors kept free of inputs: standard streams, the output or the file
// an update goes to, an argument list, and what libraries open (a pipe, to
// probe memory, say); under a small limit, the fewest that a job needs
// beside its inputs: standard streams, the output, the first input, which
// never takes turns, and a pipe's two ends.
constexpr size_t kReserve = 16;
constexpr size_t kFewest = 8;
}  // namespace

CPdfInputFilePool::CPdfInputFilePool(size_t limit) : m_limit(limit < 1 ? 1 : limit) {}

CPdfInputFilePool::~CPdfInputFilePool()
{
    // The files outlive the pool only in a faulty job; they must not point
    // at it then.
    while (CPdfInputFile* file = m_newest) {
        Remove(*file);
        file->m_pool = nullptr;
    }
}

size_t CPdfInputFilePool::ProcessLimit()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 256;
    if (limit.rlim_cur != limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (rlim_t(1) << 30))
        return size_t(1) << 30;
    const size_t count = static_cast<size_t>(limit.rlim_cur);
    if (count > 2 * kReserve)
        return count - kReserve;
    return count > kFewest ? count - kFewest : 1;
}

bool CPdfInputFilePool::MakeRoom()
{
    while (m_open >= m_limit)
        if (!CloseOne())
            return false;
    return true;
}

bool CPdfInputFilePool::CloseOne()
{
    if (!m_oldest)
        return false;
    CPdfInputFile* victim = m_oldest;
    if (m_open >= 3)
        victim = m_newest->m_older->m_older;
    victim->CloseDescriptor();
    return true;
}

void CPdfInputFilePool::Add(CPdfInputFile& file)
{
    file.m_older = m_newest;
    file.m_newer = nullptr;
    if (m_newest)
        m_newest->m_newer = &file;
    m_newest = &file;
    if (!m_oldest)
        m_oldest = &file;
    file.m_listed = true;
    ++m_open;
}

void CPdfInputFilePool::Remove(CPdfInputFile& file)
{
    if (file.m_newer)
        file.m_newer->m_older = file.m_older;
    else
        m_newest = file.m_older;
    if (file.m_older)
        file.m_older->m_newer = file.m_newer;
    else
        m_oldest = file.m_newer;
    file.m_newer = file.m_older = nullptr;
    file.m_listed = false;
    --m_open;
}

void CPdfInputFilePool::MoveToFront(CPdfInputFile& file)
{
    if (m_newest == &file)
        return;
    Remove(file);
    Add(file);
}
