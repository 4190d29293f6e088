#include "main/CPdfException.h"

CPdfException::CPdfException(const char* text) : m_text(text ? text : "") {}

CPdfException::CPdfException(const std::string& text) : m_text(text) {}

CPdfException::CPdfException(const CPdfException& other) = default;

CPdfException& CPdfException::operator=(const CPdfException& other) = default;

CPdfException::~CPdfException() = default;

const char* CPdfException::GetMessageText() const
{
    return m_text.c_str();
}
