#include "base/CPdfException.h"

#include <cstring>

CPdfException::CPdfException(const char* text) : m_text(text ? text : "") {}

CPdfException::CPdfException(const std::string& text) : m_text(text) {}

CPdfException::CPdfException(const CPdfException& other) = default;

CPdfException& CPdfException::operator=(const CPdfException& other) = default;

CPdfException::~CPdfException() = default;

const char* CPdfException::GetMessageText() const
{
    return m_text.c_str();
}

CPdfException& CPdfException::InFile(const std::string& file)
{
    if (m_file.empty())
        m_file = file;
    return *this;
}

CPdfException& CPdfException::Because(const std::string& reason)
{
    m_reason = reason;
    return *this;
}

CPdfException& CPdfException::BecauseOf(int error)
{
    m_reason = std::strerror(error);
    return *this;
}

CPdfException& CPdfException::BecauseOf(const std::string& what, int error)
{
    m_reason = what + ": " + std::strerror(error);
    return *this;
}
