#pragma once

#include <string>

// PDF text strings (titles, field names): UTF-16BE after the bytes FE FF,
// UTF-8 after EF BB BF, PDFDocEncoding otherwise. Bytes in, bytes out.
namespace textstring {

// Appends code point code (at most 0x10FFFF) to out as UTF-8.
void AppendUtf8(std::string& out, uint32_t code);

// True when the bytes are UTF-16BE (they start with FE FF).
bool IsUtf16(const std::string& bytes);

// The text as UTF-8, so that one text written in two encodings compares
// equal. PDFDocEncoding is taken as Latin-1, which it matches in the
// printable range names are written in.
std::string ToUtf8(const std::string& bytes);

// A text string for UTF-8 text (a file name, an XMP title): the bytes
// themselves when they are printable ASCII, else UTF-16BE after FE FF.
// Bytes that are not UTF-8 are taken as Latin-1.
std::string FromUtf8(const std::string& utf8);

// The string with ASCII text appended in the string's own encoding.
std::string AppendAscii(const std::string& bytes, const std::string& ascii);

}  // namespace textstring
