#pragma once

#include <map>
#include <string>

#include "merge/CPdfTextTransform.h"

// Renames one input's roles in its structure elements: the /S name of every
// dictionary that also has a /P (a structure element names its parent; the
// other dictionaries with /S, actions and border styles, have none) is
// replaced where the map renames it.
class CPdfStructRoleRenamer : public CPdfTextTransform {
public:
    // Role names without their slash, as the parser gives them.
    explicit CPdfStructRoleRenamer(std::map<std::string, std::string> renamed) : m_renamed(std::move(renamed)) {}

    bool Transform(const uint8_t* text, uint32_t length, std::string& out) const override;

private:
    std::map<std::string, std::string> m_renamed;
};
