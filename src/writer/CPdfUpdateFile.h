#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// An existing file that an incremental update is appended to, in place.
// Nothing before its original end is ever written. Until Commit, destroying
// it cuts the file back to its original length, so a failed update leaves
// the file byte for byte as it was.
//
// Failures answer false and leave a reason for a person in GetError.
class CPdfUpdateFile {
public:
    CPdfUpdateFile() = default;
    CPdfUpdateFile(const CPdfUpdateFile&) = delete;
    CPdfUpdateFile& operator=(const CPdfUpdateFile&) = delete;
    ~CPdfUpdateFile();

    // Opens path for writing after its end.
    bool Open(const std::string& path);
    // False, with a reason, when the file system has fewer than bytes free.
    bool CheckRoom(int64_t bytes);

    FILE* Get() const { return m_file; }
    // The file's length when it was opened: where the update begins.
    int64_t GetOriginalLength() const { return m_original; }
    const std::string& GetError() const { return m_error; }

    // Flushes the update to the disk and closes; false (and the file cut
    // back) when that fails.
    bool Commit();
    // Cuts the file back to its original length and closes it.
    void Discard();

private:
    bool Fail(const std::string& what, int error);

    FILE* m_file = nullptr;
    std::string m_path;
    int64_t m_original = 0;
    std::string m_error;
};
