#pragma once

#include <cstdint>
#include <string>

// The bytes of a PDF string and the form it was written in. A literal string
// holds its value (escapes resolved); a hexadecimal string holds the text
// between the angle brackets exactly as written, undecoded.
class CPdfString {
public:
    CPdfString(const uint8_t* data, uint32_t length);
    explicit CPdfString(const char* text);
    CPdfString(const CPdfString& other) = default;
    CPdfString& operator=(const CPdfString& other) = default;
    virtual ~CPdfString() = default;

    bool IsLiteral() const { return m_literal; }
    void SetLiteral(bool literal) { m_literal = literal; }
    const uint8_t* GetData() const { return reinterpret_cast<const uint8_t*>(m_data.data()); }
    uint32_t GetLength() const { return static_cast<uint32_t>(m_data.size()); }

    // The string's written hexadecimal form: "<" hex digits ">" for a literal
    // string, "<" the stored text ">" for a hexadecimal one.
    std::string GetHexText() const;
    // The string's value: the bytes of a literal string, the decoded digits
    // of a hexadecimal one (other bytes skipped, an odd last digit followed
    // by 0), as readers of the value need it whatever form it was written in.
    std::string GetValue() const;

private:
    bool m_literal;
    std::string m_data;
};
