#pragma once

#include <cstddef>
#include <cstdint>

// Byte searches used for raw copying; nothing here parses PDF syntax.
namespace bytesearch {

// The index of the last byte of the first complete occurrence of pattern
// within buffer[start .. length-1]; 0 when there is none (patterns used have
// at least 3 bytes, so a real match is never at 0).
uint32_t FindPattern(const uint8_t* buffer, uint32_t start, uint32_t length, const char* pattern,
                     uint32_t patternLength);

// The absolute position of the last byte of the first occurrence of pattern
// at or after position in the file behind fd, or 0 when there is none. Reads
// in chunks that overlap by patternLength - 1 bytes, so a pattern across a
// chunk boundary is found.
int64_t FindInFile(int fd, int64_t position, const char* pattern, uint32_t patternLength);

}  // namespace bytesearch
