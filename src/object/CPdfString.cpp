#include "object/CPdfString.h"

#include <cstring>

#include "base/PdfCharClass.h"

CPdfString::CPdfString(const uint8_t* data, uint32_t length)
    : m_literal(true)
{
    if (data != nullptr && length > 0)
        m_data.assign(reinterpret_cast<const char*>(data), length);
}

CPdfString::CPdfString(const char* text) : m_literal(true), m_data(text ? text : "") {}

std::string CPdfString::GetHexText() const
{
    if (!m_literal)
        return "<" + m_data + ">";
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(m_data.size() * 2 + 2);
    out.push_back('<');
    for (unsigned char c : m_data) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 0x0F]);
    }
    out.push_back('>');
    return out;
}

std::string CPdfString::GetValue() const
{
    if (m_literal)
        return m_data;
    std::string out;
    out.reserve(m_data.size() / 2 + 1);
    int high = -1;
    for (unsigned char c : m_data) {
        const int digit = pdfchar::HexValue(c);
        if (digit < 0)
            continue;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        out.push_back(static_cast<char>(high << 4));
    return out;
}
