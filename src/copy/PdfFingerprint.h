#pragma once

#include <cstdint>
#include <string>

#include "text/PdfObjectText.h"

// The fingerprint of an object's text: a 64-bit hash of its "processed"
// bytes. Processed bytes are the text from index start on with the
// generation of every reference written as "0": references are found as
// tokens, so the bytes of strings, comments and stream data count as they
// are. Two texts with equal processed bytes differ in nothing but the
// generations their references name, so an object renumbered with another
// generation still finds its twin, and nothing else does.
namespace fingerprint {

struct Fingerprint {
    uint64_t hash = 0;
    bool operator==(const Fingerprint& other) const { return hash == other.hash; }
};

// What finds the candidates cheaply: a hash of the first kKeyBytes
// processed bytes seeded with how many there are in all. Equal processed
// bytes give equal keys, and telling an object's key needs only the start
// of its stream data and the data's length, so the objects candidates are
// looked among need not be read whole. Large stream data of one length
// starts differently (images, fonts) far more often than not.
struct Key {
    uint64_t hash = 0;
    bool operator==(const Key& other) const { return hash == other.hash; }
};
constexpr uint32_t kKeyBytes = 256;

// Where the text that is fingerprinted begins in the bytes of an indirect
// object, "N G obj" first: after the keyword "obj" and one white-space byte
// when there is one (so that "obj\n" and "obj\r" meet). The length when the
// bytes hold no "obj".
uint32_t TextStart(const uint8_t* object, uint32_t length);

// XXH3 over the processed bytes, first to last: the library's fast hash, as
// whole images and fonts are fingerprinted.
Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start);
// The same from index 0, given the token layout objecttext::Scan made of
// text[0, length), so that an object examined is scanned once.
Fingerprint Compute(const uint8_t* text, uint32_t length, const objecttext::Layout& layout);

// The key of an object whose processed bytes are those of text[start,
// length), then restLength bytes more as they are (stream data kept in
// the file), of which the first min(restLength, kKeyBytes) are given in
// rest.
Key ComputeKey(const uint8_t* text, uint32_t length, uint32_t start, const uint8_t* rest = nullptr,
               int64_t restLength = 0);
// The key of text[0, length), given its token layout.
Key ComputeKey(const uint8_t* text, uint32_t length, const objecttext::Layout& layout);

// The processed bytes themselves, first to last.
std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start);

}  // namespace fingerprint
