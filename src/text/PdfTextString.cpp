#include "text/PdfTextString.h"

#include <cstdint>

namespace textstring {

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}


bool IsUtf16(const std::string& bytes)
{
    return bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF;
}

std::string ToUtf8(const std::string& bytes)
{
    const auto byte = [&bytes](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    std::string text;
    if (IsUtf16(bytes)) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            uint32_t code = (static_cast<uint32_t>(byte(i)) << 8) | byte(i + 1);
            if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
                const uint32_t low = (static_cast<uint32_t>(byte(i + 2)) << 8) | byte(i + 3);
                if (low >= 0xDC00 && low < 0xE000) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            AppendUtf8(text, code);
        }
        return text;
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
        return bytes.substr(3);
    for (size_t i = 0; i < bytes.size(); ++i)
        AppendUtf8(text, byte(i));
    return text;
}

std::string FromUtf8(const std::string& utf8)
{
    const auto byte = [&utf8](size_t i) { return static_cast<uint8_t>(utf8[i]); };
    bool ascii = true;
    for (size_t i = 0; i < utf8.size() && ascii; ++i)
        ascii = byte(i) >= 0x20 && byte(i) < 0x7F;
    if (ascii)
        return utf8;
    std::string out = "\xFE\xFF";
    const auto unit = [&out](uint32_t u) {
        out.push_back(static_cast<char>(u >> 8));
        out.push_back(static_cast<char>(u & 0xFF));
    };
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t b = byte(i);
        // The length of a well-formed sequence starting here, else 1 (the
        // byte alone, as Latin-1).
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        uint32_t code = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        bool good = n != 0 && i + n <= utf8.size();
        for (size_t k = 1; good && k < n; ++k) {
            good = (byte(i + k) >> 6) == 2;
            code = (code << 6) | (byte(i + k) & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        good = good && code >= least[n] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!good) {
            code = b;
            n = 1;
        }
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
        i += n;
    }
    return out;
}

std::string AppendAscii(const std::string& bytes, const std::string& ascii)
{
    const bool utf16 = IsUtf16(bytes);
    std::string out = bytes;
    for (char c : ascii) {
        if (utf16)
            out.push_back('\0');
        out.push_back(c);
    }
    return out;
}

}  // namespace textstring
