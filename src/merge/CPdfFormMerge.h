#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "object/CPdfObject.h"

class CPdfDictionary;

// The joined interactive form: one /AcroForm, written as a new object, that
// lists the fields of every input (each later input's under its own
// numbers), with the first form's document-level values.
//
// Fields stay independent: a later input's top-level field whose name is
// already taken by an earlier input gets a new name ("name-2" for the second
// document, then "-3" ... until free, as named destinations are renamed),
// which renames every fully qualified name below it. Default resources are
// joined per category; a later input's resource whose name is taken is
// renamed the same way, and the appearance strings (/DA) of that input's
// fields and widgets that name it are rewritten. A later input's fields that
// took /DA or /Q from their own form get those values written onto their
// top-level fields where the joined form says otherwise. /NeedAppearances is
// true when any form asks for it, unless every form that asks brings an
// appearance for each of its widgets and another input has a signed
// signature (which the flag would have readers draw anew). /SigFlags are
// combined, /CO orders are joined, and /XFA is dropped (it describes one
// document's form only). Every field and widget of a later input keeps its
// own copy under /s: shared with an equal one of an earlier input, one field
// would sit on two pages.
//
// Nothing changes when no later input has a form. Holds parsed values of the
// inputs from Plan to Write, so the inputs must stay open until Write.
class CPdfFormMerge : public CPdfDocumentMerge {
public:
    // Resource names changed in one input: category (Font, ColorSpace ...),
    // then old name to new name (names as decoded bytes).
    using ResourceRenames = std::map<std::string, std::map<std::string, std::string>>;

    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

    // The appearance string da with every resource name given to an
    // operator (/F1 12 Tf, /CS0 cs, /GS0 gs ...) renamed as renames says;
    // false when none is (out untouched).
    static bool RenameResources(const std::string& da, const ResourceRenames& renames, std::string& out);
    // name with the first suffix "-N" (N = ordinal, ordinal + 1 ...) that
    // taken refuses. A name in UTF-16BE gets its suffix in UTF-16BE.
    static std::string FreeName(const std::string& name, size_t ordinal,
                                const std::function<bool(const std::string&)>& taken);
    // The text a field name stands for, as UTF-8, so that a name written in
    // UTF-16BE and the same name in PDFDocEncoding compare equal.
    static std::string NameKey(const std::string& bytes);

private:
    struct Form {
        size_t part = 0;
        CPdfObject dict;  // its /AcroForm dictionary
        bool asksForAppearances = false;  // its /NeedAppearances is true
        bool drawsEveryWidget = true;     // every widget has an /AP with /N
        bool hasSignature = false;        // a signature field with a value
    };
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

    void JoinResources(const Form& form, ResourceRenames& renames);
    // Also notes in form whether its widgets are drawn and it is signed.
    void PlanFields(CPdfMergePlan& plan, Form& form, const ResourceRenames& renames);
    // Viewers look up the names of a field's /DA in the field's own /DR
    // first: where that has an old name, the new one is added beside it.
    // done: (object, category) already extended, objects shared by fields.
    static void ExtendOwnResources(CPdfMergePlan& plan, size_t part, int32_t number, const CPdfDictionary& field,
                                   const ResourceRenames& renames, std::set<std::pair<int32_t, std::string>>& done);
    Category& CategoryNamed(const std::string& name);

    std::vector<Form> m_forms;
    std::vector<Category> m_resources;  // the joined /DR, in order of first use
    std::set<std::string> m_topNames;  // NameKey of every top-level name taken
    std::string m_da;                  // the joined form's /DA bytes
    bool m_hasDa = false;
    int64_t m_q = 0;
    bool m_needAppearances = false;
    int64_t m_number = 0;  // the new /AcroForm object; 0: none planned
};
