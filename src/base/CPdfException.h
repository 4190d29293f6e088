#pragma once

#include <string>

// The program's one exception type. Every failure anywhere is raised as a
// CPdfException carrying a fixed English message; only the program entry
// catches it and prints the text. Scripts read that text, so it never
// changes; what a person needs beyond it (which file, which object, the
// system's reason) travels beside it as context and goes to standard error.
class CPdfException {
public:
    explicit CPdfException(const char* text);
    explicit CPdfException(const std::string& text);
    CPdfException(const CPdfException& other);
    CPdfException& operator=(const CPdfException& other);
    virtual ~CPdfException();

    // Valid as long as this exception object lives.
    virtual const char* GetMessageText() const;

    // The file the failure concerns, empty when no layer knew it.
    const std::string& GetFile() const { return m_file; }
    // The reason in a person's words ("No such file or directory", "page 3
    // has no resources"); empty when the message says it all.
    const std::string& GetReason() const { return m_reason; }

    // Names the file unless a layer nearer the failure already did: the
    // job wraps whole steps, so the innermost name is the precise one.
    CPdfException& InFile(const std::string& file);
    CPdfException& Because(const std::string& reason);
    // The reason is the system's text for error (an errno value).
    CPdfException& BecauseOf(int error);
    CPdfException& BecauseOf(const std::string& what, int error);

private:
    std::string m_text;
    std::string m_file;
    std::string m_reason;
};
