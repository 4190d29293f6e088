#pragma once

#include <cstdint>
#include <string>

// The fingerprint of an object's text: a count of its non-blank bytes and a
// CRC-32 style checksum, both over the same "processed" bytes. The text is
// walked from its end towards index start; a reference's "R", the space
// before it and its generation digits are skipped (its object number stays
// part of the fingerprint).
namespace fingerprint {

uint32_t CountNonBlank(const uint8_t* text, uint32_t length, uint32_t start);

// Reflected CRC-32 table (polynomial 0xEDB88320), no final inversion, bytes
// fed from the end of the text.
uint32_t ObjectChecksum(const uint8_t* text, uint32_t length, uint32_t start, uint32_t initial);

// The processed bytes in the order they are fed; two texts with equal
// processed bytes have equal fingerprints.
std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start);

struct Fingerprint {
    uint32_t count = 0;
    uint32_t checksum = 0;
    bool operator==(const Fingerprint& other) const { return count == other.count && checksum == other.checksum; }
};

// Both values at once, in one walk.
Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start);

}  // namespace fingerprint
