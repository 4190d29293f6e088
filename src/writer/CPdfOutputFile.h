#pragma once

#include <cstdio>
#include <string>

// The file a result is written to before it takes its final name. Until
// Commit (or Keep), destroying it closes and removes the file, so a failed
// run never leaves a partial PDF behind and never touches an existing file
// of the final name.
class CPdfOutputFile {
public:
    CPdfOutputFile() = default;
    CPdfOutputFile(const CPdfOutputFile&) = delete;
    CPdfOutputFile& operator=(const CPdfOutputFile&) = delete;
    ~CPdfOutputFile();

    // Creates (truncates) exactly path.
    bool CreateAt(const std::string& path);
    // Creates a new file with a unique name in the directory of finalPath.
    bool CreateBeside(const std::string& finalPath);

    FILE* Get() const { return m_file; }
    const std::string& GetPath() const { return m_path; }

    // Flushes and closes; false when anything written was lost.
    bool Close();
    // Moves the closed file onto finalPath; false (file kept) on failure.
    bool Commit(const std::string& finalPath);
    // Leaves the file where it is, whatever happens next.
    void Keep() { m_keep = true; }
    // Closes and removes the file.
    void Discard();

    // Copies the contents of the file at source into this open file.
    bool CopyFrom(const std::string& source);

private:
    FILE* m_file = nullptr;
    std::string m_path;
    bool m_keep = false;
};
