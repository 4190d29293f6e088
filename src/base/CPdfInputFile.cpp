#include "base/CPdfInputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/CPdfException.h"
#include "base/Messages.h"

CPdfInputFile::CPdfInputFile(const std::string& path, CPdfInputFilePool* pool) : Member(pool), m_path(path)
{
    m_fd = OpenWithRoom();
    struct stat st;
    if (fstat(m_fd, &st) != 0) {
        const int error = errno;
        CloseDescriptor();
        throw CPdfException(msg::kCantOpenFile).InFile(m_path).BecauseOf(error);
    }
    if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
        CloseDescriptor();
        CPdfException failure(msg::kCantOpenFile);
        failure.InFile(m_path);
        if (S_ISDIR(st.st_mode))
            throw failure.BecauseOf(EISDIR);
        throw failure.Because("not a regular file");
    }
    m_size = static_cast<int64_t>(st.st_size);
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    m_modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
    if (CPdfInputFilePool* pool = GetPool())
        pool->Opened(*this, false);
}

CPdfInputFile::~CPdfInputFile()
{
    CloseDescriptor();
}

void CPdfInputFile::Pin()
{
    LeavePool();
    Descriptor();
}

int CPdfInputFile::OpenWithRoom()
{
    CPdfInputFilePool* pool = GetPool();
    if (pool && !pool->MakeRoom())
        throw CPdfException(msg::kCantOpenFile).InFile(m_path).BecauseOf(EMFILE);
    int fd = OpenDescriptor();
    // Other parts of the program hold descriptors too: one more of ours
    // closed may be enough.
    while (fd < 0 && (errno == EMFILE || errno == ENFILE) && pool && pool->CloseOne())
        fd = OpenDescriptor();
    if (fd < 0) {
        const int error = errno;
        throw CPdfException(msg::kCantOpenFile).InFile(m_path).BecauseOf(error);
    }
    return fd;
}

int CPdfInputFile::OpenDescriptor() const
{
    for (;;) {
        const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

int CPdfInputFile::Reopen()
{
    if (m_fd >= 0) {
        GetPool()->Used(*this);
        return m_fd;
    }
    const int fd = OpenWithRoom();
    struct stat st;
    const bool same = fstat(fd, &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode &&
                      static_cast<int64_t>(st.st_size) == m_size &&
                      static_cast<int64_t>(st.st_mtim.tv_sec) == m_modifiedSeconds &&
                      static_cast<int64_t>(st.st_mtim.tv_nsec) == m_modifiedNanoseconds;
    if (!same) {
        close(fd);
        throw CPdfException(msg::kCantOpenFile).InFile(m_path).Because("the file changed while it was being read");
    }
    m_fd = fd;
    if (CPdfInputFilePool* pool = GetPool())
        pool->Opened(*this, true);
    return m_fd;
}
