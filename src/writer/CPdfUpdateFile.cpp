#include "writer/CPdfUpdateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CPdfUpdateFile::~CPdfUpdateFile()
{
    Discard();
}

bool CPdfUpdateFile::Fail(const std::string& what, int error)
{
    m_error = what + ": " + std::strerror(error);
    return false;
}

bool CPdfUpdateFile::Open(const std::string& path)
{
    Discard();
    m_path = path;
    // Not O_APPEND: the kernel's file-to-file copy refuses such a target;
    // the writes start at the end all the same.
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail("cannot open it for writing", errno);
    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int error = errno;
        close(fd);
        return Fail("cannot read its size", error);
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return Fail("cannot update it in place", EINVAL);
    }
    m_original = st.st_size;
    if (lseek(fd, 0, SEEK_END) != m_original) {
        const int error = errno;
        close(fd);
        return Fail("cannot go to its end", error);
    }
    m_file = fdopen(fd, "w");
    if (m_file == nullptr) {
        const int error = errno;
        close(fd);
        return Fail("cannot open it for writing", error);
    }
    return true;
}

bool CPdfUpdateFile::CheckRoom(int64_t bytes)
{
    struct statvfs fs;
    if (m_file == nullptr || fstatvfs(fileno(m_file), &fs) != 0)
        return true;  // nothing known: the writes will tell
    const long double free = static_cast<long double>(fs.f_bavail) * fs.f_frsize;
    if (free >= static_cast<long double>(bytes))
        return true;
    m_error = "not enough free space for the update: about " + std::to_string(bytes) + " bytes are needed, " +
              std::to_string(static_cast<long long>(free)) + " are free";
    return false;
}

bool CPdfUpdateFile::Commit()
{
    if (m_file == nullptr)
        return false;
    const int fd = fileno(m_file);
    if (fflush(m_file) != 0 || fsync(fd) != 0) {
        Fail("cannot write the update", errno);
        Discard();
        return false;
    }
    fclose(m_file);
    m_file = nullptr;
    return true;
}

void CPdfUpdateFile::Discard()
{
    if (m_file == nullptr)
        return;
    const int fd = fileno(m_file);
    // Whatever of the update reached the file goes; the bytes before it
    // were never written.
    if (ftruncate(fd, static_cast<off_t>(m_original)) == 0)
        fsync(fd);
    // Nothing is buffered in the handle (writes go to the descriptor), so
    // closing writes nothing after the cut.
    fclose(m_file);
    m_file = nullptr;
}
