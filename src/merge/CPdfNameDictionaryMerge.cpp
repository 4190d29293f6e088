#include "merge/CPdfNameDictionaryMerge.h"

#include "merge/CPdfMergePlan.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfDictionary.h"

void CPdfNameDictionaryMerge::Plan(CPdfMergePlan& plan)
{
    if (m_replaced.empty())
        return;
    const CPdfMergePart& first = plan.GetParts()[0];
    const CPdfObject& catalog = first.catalogValue;
    CPdfObject names;
    if (catalog.GetKind() == OBJ_DICTIONARY)
        catalog.GetDictionary()->LookupRaw("Names", names);
    if (names.GetKind() == OBJ_REFERENCE) {
        CPdfObject dict;
        first.Fetch(names.GetRefNum(), dict);
        if (dict.GetKind() == OBJ_DICTIONARY) {
            for (const auto& [key, root] : m_replaced)
                plan.SetKey(0, names.GetRefNum(), ("/" + key).c_str(), root);
            return;
        }
    }
    std::string text = "<<";
    for (const auto& [key, root] : m_replaced) {
        CPdfValueWriter::WriteName(key, text);
        text += " " + root;
    }
    if (names.GetKind() == OBJ_DICTIONARY) {
        const CPdfValueWriter identity([](int64_t number) { return objecttext::Target{number}; });
        names.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
            if (m_replaced.count(key) != 0 || value.GetKind() == OBJ_NULL)
                return;
            CPdfValueWriter::WriteName(key, text);
            identity.Write(value, text);
        });
    }
    plan.SetKey(0, first.catalog, "/Names", text + ">>");
}
