#pragma once

#include <cstdint>
#include <string>

class CPdfSecurityHandler;

// Encrypts the text of an object as an encrypted document stores it: every
// string with the string filter's key for the object, written in
// hexadecimal, and a stream's data with the stream filter's key, its
// /Length set to the encrypted length. Cross-reference streams stay clear,
// and so does metadata where the document keeps it clear. Used for what an
// update of an encrypted document adds to it. Borrows the handler.
class CPdfTextEncryption {
public:
    explicit CPdfTextEncryption(const CPdfSecurityHandler& security) : m_security(security) {}

    // text: "N G obj ... endobj" with its stream data, or an object's value
    // alone; it is encrypted for object (number, generation).
    void Encrypt(int64_t number, int32_t generation, std::string& text) const;

private:
    const CPdfSecurityHandler& m_security;
};
