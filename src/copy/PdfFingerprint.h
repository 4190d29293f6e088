#pragma once

#include <cstdint>
#include <string>

// The fingerprint of an object's text: a 64-bit hash of its "processed"
// bytes. Processed bytes are the text from index start on, less what a
// reference's generation adds: reading from the end, an "R" with a space
// before it is dropped with that space and the generation digits, and the
// byte before them stands in its place (the object number stays). Two texts
// with equal processed bytes have equal fingerprints, so an object renumbered
// with another generation still finds its twin.
namespace fingerprint {

struct Fingerprint {
    uint64_t hash = 0;
    bool operator==(const Fingerprint& other) const { return hash == other.hash; }
};

// XXH3 over the processed bytes, first to last: the library's fast hash, as
// whole images and fonts are fingerprinted.
Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start);

// The processed bytes themselves, first to last.
std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start);

}  // namespace fingerprint
