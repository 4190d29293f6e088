#pragma once

#include <array>
#include <cstdint>

// Byte classes of PDF syntax, one fixed 256-entry table (no <cctype>: its
// answers depend on the locale).
namespace pdfchar {

enum : uint8_t { kRegular = 0, kWhite = 1, kDelimiter = 2 };

constexpr std::array<uint8_t, 256> MakeTable()
{
    std::array<uint8_t, 256> t{};
    for (int c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20})
        t[static_cast<size_t>(c)] = kWhite;
    for (char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
        t[static_cast<uint8_t>(c)] = kDelimiter;
    return t;
}

inline constexpr std::array<uint8_t, 256> kTable = MakeTable();

inline bool IsWhite(int c)
{
    return c >= 0 && kTable[static_cast<size_t>(c)] == kWhite;
}
inline bool IsDelimiter(int c)
{
    return c >= 0 && kTable[static_cast<size_t>(c)] == kDelimiter;
}
// Regular: neither white space, nor a delimiter, nor the end of data (-1).
inline bool IsRegular(int c)
{
    return c >= 0 && kTable[static_cast<size_t>(c)] == kRegular;
}
inline bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}
// The value of a hexadecimal digit, or -1.
inline int HexValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace pdfchar
