#pragma once

#include <string>

// The program's one exception type. Every failure anywhere is raised as a
// CPdfException carrying a fixed English message; only the program entry
// catches it and prints the text.
class CPdfException {
public:
    explicit CPdfException(const char* text);
    explicit CPdfException(const std::string& text);
    CPdfException(const CPdfException& other);
    CPdfException& operator=(const CPdfException& other);
    virtual ~CPdfException();

    // Valid as long as this exception object lives.
    virtual const char* GetMessageText() const;

private:
    std::string m_text;
};
