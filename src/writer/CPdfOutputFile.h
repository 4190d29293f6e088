#pragma once

#include <cstdio>
#include <string>

// The file a result is written to before it takes its final name (the
// target): a new file with a unique name beside the target, created with
// O_EXCL, so that it never opens somebody else's file. Until Commit (or
// SetAside), destroying it closes and removes the file, so a failed run
// never leaves a partial PDF behind and never touches the target.
//
// A target that exists is replaced in one rename, and its permission bits,
// owner and group (the latter two where the process may set them) pass to
// the result, the way `cp` onto a file or `sed -i` would keep them. Until
// then the new file is readable by its owner only, because it holds the
// contents of a file that may be private. A new target gets 0666 less the
// umask, like any file a program creates.
//
// Failures answer false and leave a reason for a person in GetError.
class CPdfOutputFile {
public:
    CPdfOutputFile() = default;
    CPdfOutputFile(const CPdfOutputFile&) = delete;
    CPdfOutputFile& operator=(const CPdfOutputFile&) = delete;
    ~CPdfOutputFile();

    // Opens the new file in the directory of target. A symbolic link is
    // followed, so the file it names is replaced and the link stays. Fails
    // when target is a directory or another file that is not regular.
    bool Create(const std::string& target);

    FILE* Get() const { return m_file; }
    // The name the file has now.
    const std::string& GetPath() const { return m_path; }
    // The name Commit gives it (links followed).
    const std::string& GetTarget() const { return m_target; }
    const std::string& GetError() const { return m_error; }

    // Flushes, passes on an existing target's permissions, and closes;
    // false when anything written was lost. Does nothing once closed.
    bool Close();
    // Closes, then renames the file onto the target; false (the file left
    // under its own name, still removed by the destructor) on failure.
    bool Commit();
    // For a closed, complete result that could not be committed: moves it
    // to name beside the target, or, where a file of that name exists
    // (never replaced), to the first free "stem-N.ext". The file stays from
    // then on. Answers where it is now (its own name when no move worked).
    std::string SetAside(const std::string& name);
    // Closes and removes the file.
    void Discard();

    // name in the directory of path ("docs/a.pdf", "x" -> "docs/x"; no
    // directory part when path has none).
    static std::string NameBeside(const std::string& path, const std::string& name);
    // The n-th name tried by SetAside: name itself for 0, otherwise n
    // before its extension ("temp.tmp", 2 -> "temp-2.tmp").
    static std::string NumberedName(const std::string& name, unsigned n);

private:
    bool Fail(const std::string& what, int error);

    FILE* m_file = nullptr;
    std::string m_path;
    std::string m_target;
    std::string m_error;
    bool m_keep = false;
};
