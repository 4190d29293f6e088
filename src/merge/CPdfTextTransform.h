#pragma once

#include <cstdint>
#include <string>

// A rewrite that applies to every object of one input as it is copied (the
// second document's renamed destinations, say). Implementations stop at a
// stream's "stream" keyword: stream data is never rewritten.
class CPdfTextTransform {
public:
    virtual ~CPdfTextTransform() = default;
    // Writes the rewritten text to out and returns true, or returns false
    // when the text stays as it is.
    virtual bool Transform(const uint8_t* text, uint32_t length, std::string& out) const = 0;
};
