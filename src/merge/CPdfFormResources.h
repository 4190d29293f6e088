#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "object/CPdfObject.h"

class CPdfDictionary;
class CPdfMergeOutput;
class CPdfMergePlan;

// The joined default resources (/DR) of the forms: one dictionary per
// category (Font, ColorSpace ...) listing every input's resources. A later
// input's resource whose name an earlier input took is given a free name;
// whether both name the same resource is only known once sharing is
// decided, after the appearance strings that use the name are planned, so
// the name is always changed, and the appearance strings (/DA) of that
// input that use it are rewritten to match. Holds parsed values of the
// inputs until written.
class CPdfFormResources {
public:
    // Resource names changed in one input: category, then old name to new
    // name (names as decoded bytes).
    using Renames = std::map<std::string, std::map<std::string, std::string>>;

    // Adds the /DR of part's form dictionary; renames tells what part's
    // taken names became.
    void Join(size_t part, const CPdfDictionary& form, Renames& renames);
    // Writes "/DR<<...>>" (nothing when no form had resources), references
    // mapped through output.
    void Write(const CPdfMergeOutput& output, std::string& body) const;

    // The appearance string da with every resource name given to an
    // operator (/F1 12 Tf, /CS0 cs, /GS0 gs ...) renamed as renames says;
    // false when none is (out untouched).
    static bool RenameInAppearance(const std::string& da, const Renames& renames, std::string& out);
    // Viewers look up the names of a field's /DA in the field's own /DR
    // first: where that has an old name, the new one is added beside it.
    // done: (object, category) already extended, objects shared by fields.
    static void ExtendFieldResources(CPdfMergePlan& plan, size_t part, int32_t number, const CPdfDictionary& field,
                                     const Renames& renames, std::set<std::pair<int32_t, std::string>>& done);

private:
    struct Resource {
        size_t part = 0;
        std::string name;  // as written in the result
        CPdfObject value;  // as written in its input
    };
    struct Category {
        std::string name;
        bool isDictionary = true;  // false: the first input's value is kept whole
        CPdfObject whole;
        size_t wholePart = 0;
        std::vector<Resource> entries;
        std::set<std::string> names;  // of entries
    };

    Category& CategoryNamed(const std::string& name);

    std::vector<Category> m_categories;  // in order of first use
};
