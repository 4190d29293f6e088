#include "writer/CPdfOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Names tried before giving up; each try fails only on a name in use.
constexpr unsigned kNameAttempts = 100;

// The file a symbolic link names, or path itself (also for a link that
// leads nowhere: then the link is what gets replaced).
std::string FollowLink(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

// Moves from onto to unless to exists; errno EEXIST when it does.
bool MoveWithoutReplacing(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // File systems without the no-replace rename: a hard link fails the
    // same way on an existing name.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

}  // namespace

CPdfOutputFile::~CPdfOutputFile()
{
    if (!m_keep)
        Discard();
    else if (m_file)
        std::fclose(m_file);
}

std::string CPdfOutputFile::NameBeside(const std::string& path, const std::string& name)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string CPdfOutputFile::NumberedName(const std::string& name, unsigned n)
{
    if (n == 0)
        return name;
    const size_t dot = name.rfind('.');
    const size_t stemEnd = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, stemEnd) + "-" + std::to_string(n) + name.substr(stemEnd);
}

bool CPdfOutputFile::Fail(const std::string& what, int error)
{
    m_error = what.empty() ? std::strerror(error) : what + ": " + std::strerror(error);
    return false;
}

bool CPdfOutputFile::Create(const std::string& target)
{
    m_target = FollowLink(target);
    struct stat st;
    const bool exists = stat(m_target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return Fail("", EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe would be replaced by a plain file.
        m_error = "not a regular file";
        return false;
    }
    const mode_t mode = exists ? 0600 : 0666;
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate =
            NameBeside(m_target, ".korvel-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp");
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Fail("can't create a file in its directory", errno);
        }
        m_file = fdopen(fd, "wb");
        if (!m_file) {
            const int error = errno;
            close(fd);
            unlink(candidate.c_str());
            return Fail("", error);
        }
        // No buffer of its own is set: the writer (CPdfFile) gathers its
        // bytes in large blocks and writes them to the descriptor.
        m_path = candidate;
        return true;
    }
    return Fail("can't create a file in its directory", EEXIST);
}

bool CPdfOutputFile::Close()
{
    if (!m_file)
        return true;
    errno = 0;
    if (std::fflush(m_file) != 0 || std::ferror(m_file)) {
        const int error = errno ? errno : EIO;
        std::fclose(m_file);
        m_file = nullptr;
        return Fail("", error);
    }
    struct stat st;
    if (stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const int fd = fileno(m_file);
        // Owner first: a change of owner clears the set-id bits. Where the
        // owner cannot be given away, the group may still be.
        // Where neither works the result stays ours, which is no loss.
        if (fchown(fd, st.st_uid, st.st_gid) != 0)
            static_cast<void>(fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0);
        // Failing, the file keeps its private 0600: never more open than
        // the file it replaces.
        static_cast<void>(fchmod(fd, st.st_mode & 07777) == 0);
    }
    if (std::fclose(m_file) != 0) {
        m_file = nullptr;
        return Fail("", errno);
    }
    m_file = nullptr;
    return true;
}

bool CPdfOutputFile::Commit()
{
    if (!Close())
        return false;
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
        return Fail("can't rename the result onto it", errno);
    m_path.clear();
    m_keep = true;
    return true;
}

std::string CPdfOutputFile::SetAside(const std::string& name)
{
    Close();
    m_keep = true;
    for (unsigned n = 0; n < kNameAttempts; ++n) {
        const std::string candidate = NameBeside(m_target, NumberedName(name, n));
        if (MoveWithoutReplacing(m_path, candidate)) {
            m_path = candidate;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    return m_path;
}

void CPdfOutputFile::Discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_path.empty()) {
        std::remove(m_path.c_str());
        m_path.clear();
    }
}
