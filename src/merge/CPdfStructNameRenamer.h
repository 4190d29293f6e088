#pragma once

#include <map>
#include <string>

#include "merge/CPdfTextTransform.h"

// Renames what one input's structure elements call by name, where the
// joined tree gave it a new one: roles (the /S of an element), classes
// (its /C, a name or an array of names) and element IDs (the strings in a
// /Headers array of an attribute dictionary, which name table header
// cells). A dictionary counts as an element when it also has a /P: actions
// and border styles have /S too, but no parent.
class CPdfStructNameRenamer : public CPdfTextTransform {
public:
    struct Names {
        std::map<std::string, std::string> roles;    // without the slash
        std::map<std::string, std::string> classes;  // without the slash
        std::map<std::string, std::string> ids;      // string bytes
        bool Empty() const { return roles.empty() && classes.empty() && ids.empty(); }
    };

    explicit CPdfStructNameRenamer(Names names) : m_names(std::move(names)) {}

    bool Transform(const uint8_t* text, uint32_t length, std::string& out) const override;

private:
    Names m_names;
};
