#include "base/CPdfInputFilePool.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {
// Descriptors kept free of inputs: standard streams, the output or the file
// an update goes to, an argument list, and what libraries open (a pipe, to
// probe memory, say); under a small limit, the fewest that a job needs
// beside its inputs: standard streams, the output, the first input, which
// never takes turns, and a pipe's two ends.
constexpr size_t kReserve = 16;
constexpr size_t kFewest = 8;
}  // namespace

CPdfInputFilePool::Member::~Member()
{
    LeavePool();
}

void CPdfInputFilePool::Member::CloseDescriptor()
{
    if (m_pool)
        m_pool->Closed(*this);
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

void CPdfInputFilePool::Member::LeavePool()
{
    if (m_pool && m_listed)
        m_pool->Remove(*this);
    m_pool = nullptr;
}

CPdfInputFilePool::CPdfInputFilePool(size_t limit) : m_limit(limit < 1 ? 1 : limit) {}

CPdfInputFilePool::~CPdfInputFilePool()
{
    // The files outlive the pool only in a faulty job; they must not point
    // at it then.
    while (Member* member = m_newest) {
        Remove(*member);
        member->m_pool = nullptr;
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
    Member* victim = m_oldest;
    if (m_open >= 3)
        victim = m_newest->m_older->m_older;
    victim->CloseDescriptor();
    return true;
}

void CPdfInputFilePool::Opened(Member& member, bool reopened)
{
    Add(member);
    m_reopened += reopened ? 1 : 0;
}

void CPdfInputFilePool::Used(Member& member)
{
    if (m_newest == &member || !member.m_listed)
        return;
    Remove(member);
    Add(member);
}

void CPdfInputFilePool::Closed(Member& member)
{
    if (member.m_listed)
        Remove(member);
}

void CPdfInputFilePool::Add(Member& member)
{
    member.m_older = m_newest;
    member.m_newer = nullptr;
    if (m_newest)
        m_newest->m_newer = &member;
    m_newest = &member;
    if (!m_oldest)
        m_oldest = &member;
    member.m_listed = true;
    ++m_open;
}

void CPdfInputFilePool::Remove(Member& member)
{
    if (member.m_newer)
        member.m_newer->m_older = member.m_older;
    else
        m_newest = member.m_older;
    if (member.m_older)
        member.m_older->m_newer = member.m_newer;
    else
        m_oldest = member.m_newer;
    member.m_newer = member.m_older = nullptr;
    member.m_listed = false;
    --m_open;
}
