#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfFormResources.h"
#include "object/CPdfObject.h"

// The joined interactive form: one /AcroForm, written as a new object, that
// lists the fields of every input (each later input's under its own
// numbers), with the first form's document-level values.
//
// Fields stay independent: a later input's top-level field whose name is
// already taken by an earlier input gets a free name ("name-2" for the
// second document, see freename), which renames every fully qualified name
// below it; names are compared by their text, whatever their encoding.
// Default resources are joined per category (CPdfFormResources). A later
// input's fields that took /DA or /Q from their own form get those values
// written onto their top-level fields where the joined form says otherwise. /NeedAppearances is
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
    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

private:
    struct Form {
        size_t part = 0;
        CPdfObject dict;  // its /AcroForm dictionary
        bool asksForAppearances = false;  // its /NeedAppearances is true
        bool drawsEveryWidget = true;     // every widget has an /AP with /N
        bool hasSignature = false;        // a signature field with a value
    };

    // Also notes in form whether its widgets are drawn and it is signed.
    void PlanFields(CPdfMergePlan& plan, Form& form, const CPdfFormResources::Renames& renames);
    // Visits every field and widget once (visited), keeping a later input's
    // its own and rewriting its appearance strings; returns the named
    // fields that are the top of their fully qualified names.
    std::vector<std::pair<int32_t, std::string>> WalkFields(CPdfMergePlan& plan, Form& form,
                                                           const std::vector<int32_t>& tops,
                                                           const CPdfFormResources::Renames& renames,
                                                           std::unordered_set<int32_t>& visited);
    void RenameTopFields(CPdfMergePlan& plan, size_t part, const std::vector<std::pair<int32_t, std::string>>& named);
    void WriteInheritedValues(CPdfMergePlan& plan, const Form& form, const std::vector<int32_t>& tops,
                              const std::unordered_set<int32_t>& visited, const CPdfFormResources::Renames& renames);

    std::vector<Form> m_forms;
    CPdfFormResources m_resources;     // the joined /DR
    std::set<std::string> m_topNames;  // the text of every top-level name taken
    std::string m_da;                  // the joined form's /DA bytes
    bool m_hasDa = false;
    int64_t m_q = 0;
    bool m_needAppearances = false;
    int64_t m_number = 0;  // the new /AcroForm object; 0: none planned
};
