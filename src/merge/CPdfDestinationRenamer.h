#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "merge/CPdfTextTransform.h"

// Finds the named destinations an object's text uses and renames those the
// given function renames: the value of a /Dest key (link annotations,
// outline items) and the /D of a GoTo action (in /A, /AA, along /Next
// chains), where the name is a string or a name. /D of other actions
// (GoToR names a destination in another file) and explicit destinations
// (arrays) are left alone. A renamed string is written in hexadecimal form,
// a renamed name with # escapes.
class CPdfDestinationRenamer : public CPdfTextTransform {
public:
    // Given a destination's name (its bytes), sets newName and returns true
    // when it is to be renamed.
    using Rename = std::function<bool(const std::string& name, std::string& newName)>;

    explicit CPdfDestinationRenamer(Rename rename) : m_rename(std::move(rename)) {}

    bool Transform(const uint8_t* text, uint32_t length, std::string& out) const override;

    // The bytes a string or name token of raw text stands for (escapes and
    // #xx decoded); false for any other token.
    static bool TokenBytes(const uint8_t* token, uint32_t length, std::string& bytes);

private:
    Rename m_rename;
};
