#pragma once

#include <cstddef>
#include <cstdint>

// Format pieces that the reader, the writer and the append job all use: the
// cross-reference entry, number formatting and raw reads at a file offset.
// Nothing here knows PDF objects; everything is bytes in, bytes out.

// One cross-reference entry. offset -1 marks an entry no section has
// described yet. File positions are 64-bit: inputs and results may pass
// 2 and 4 GB.
struct XRefEntry {
    int64_t offset;      // type 1: header offset (relative to the base offset);
                         // type 2: number of the object stream; type 0: next free
    int32_t generation;  // types 0, 1: generation; type 2: index in the object stream
    int32_t type;        // 0 free, 1 in the file, 2 inside an object stream
};

namespace pdfformat {

// PDF's own limit on object numbers; larger tables are refused rather than
// allocated.
constexpr int32_t kMaxEntries = 8388608;

// The largest decoded object stream accepted.
constexpr size_t kMaxObjectStreamSize = size_t(256) << 20;

constexpr size_t kEntrySize = 20;

// The largest offset a 20-byte table entry can state: ten digits.
constexpr int64_t kMaxEntryOffset = 9999999999LL;

// One 20-byte entry: ten offset digits, five generation digits, "n" or "f",
// a space and CR. Offsets beyond ten digits are the caller's to refuse.
void FormatEntry(int64_t offset, int32_t generation, bool inUse, char out[kEntrySize]);

// The decimal digits of value ("%ld"): returns the count written to out,
// which must hold 21 bytes.
size_t FormatNumber(int64_t value, char* out);

// The number of decimal digits of a non-negative value (1 for 0).
int CountDigits(int64_t value);

// Reads exactly length bytes at position (fewer only at the end of the
// file or on an error); returns the count read.
size_t ReadAt(int fd, int64_t position, uint8_t* out, size_t length);

}  // namespace pdfformat
