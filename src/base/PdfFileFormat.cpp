#include "base/PdfFileFormat.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace pdfformat {

void FormatEntry(int64_t offset, int32_t generation, bool inUse, char out[kEntrySize])
{
    // Written by hand: the table has an entry per object.
    auto digits = [](int64_t value, char* field, int width) {
        if (value < 0) {
            char text[24];
            std::snprintf(text, sizeof(text), "%0*lld", width, static_cast<long long>(value));
            std::memcpy(field, text, static_cast<size_t>(width));
            return;
        }
        for (int i = width - 1; i >= 0; --i) {
            field[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    digits(offset, out, 10);
    out[10] = ' ';
    digits(generation, out + 11, 5);
    out[16] = ' ';
    out[17] = inUse ? 'n' : 'f';
    out[18] = ' ';
    out[19] = '\r';
}

size_t FormatNumber(int64_t value, char* out)
{
    // Every reference renumbered is written here: no format string to read.
    const std::to_chars_result r = std::to_chars(out, out + 20, value);
    *r.ptr = '\0';
    return static_cast<size_t>(r.ptr - out);
}

int CountDigits(int64_t value)
{
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

size_t ReadAt(int fd, int64_t position, uint8_t* out, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd, out + done, length - done, static_cast<off_t>(position) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace pdfformat
