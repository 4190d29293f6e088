#include "writer/CPdfOutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

// A large stdio buffer: objects are written in many small pieces.
constexpr size_t kBufferSize = 1 << 20;

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

}  // namespace

CPdfOutputFile::~CPdfOutputFile()
{
    if (!m_keep)
        Discard();
    else if (m_file)
        std::fclose(m_file);
}

bool CPdfOutputFile::CreateAt(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        return false;
    m_path = path;
    std::setvbuf(m_file, nullptr, _IOFBF, kBufferSize);
    return true;
}

bool CPdfOutputFile::CreateBeside(const std::string& finalPath)
{
    const std::string dir = DirectoryOf(finalPath);
    // O_EXCL with a fresh name each try: never opens somebody else's file.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = dir + "/.korvel-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        m_file = fdopen(fd, "wb");
        if (!m_file) {
            close(fd);
            unlink(candidate.c_str());
            return false;
        }
        m_path = candidate;
        std::setvbuf(m_file, nullptr, _IOFBF, kBufferSize);
        return true;
    }
    return false;
}

bool CPdfOutputFile::Close()
{
    if (!m_file)
        return true;
    bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    return ok;
}

bool CPdfOutputFile::Commit(const std::string& finalPath)
{
    if (!Close())
        return false;
    if (std::rename(m_path.c_str(), finalPath.c_str()) != 0)
        return false;
    m_path.clear();
    m_keep = true;
    return true;
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

bool CPdfOutputFile::CopyFrom(const std::string& source)
{
    FILE* in = std::fopen(source.c_str(), "rb");
    if (!in)
        return false;
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 && std::fwrite(buffer.data(), 1, got, m_file) != got) {
            ok = false;
            break;
        }
        if (got < buffer.size()) {
            ok = !std::ferror(in);
            break;
        }
    }
    std::fclose(in);
    return ok;
}
