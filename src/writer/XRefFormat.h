#pragma once

#include <cstddef>
#include <cstdint>

// Pure formatting helpers of the output's cross-reference section.
namespace xrefformat {

constexpr size_t kEntrySize = 20;

// One 20-byte entry: "%010d %05d n \r" ("f" when inUse is false).
void FormatEntry(int32_t offset, int32_t generation, bool inUse, char out[kEntrySize]);

// The decimal digits of value ("%ld"): returns the count written to out,
// which must hold 21 bytes.
size_t FormatNumber(int64_t value, char* out);

// The number of decimal digits of a non-negative value (1 for 0).
int CountDigits(int64_t value);

}  // namespace xrefformat
