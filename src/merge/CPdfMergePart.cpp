#include "merge/CPdfMergePart.h"

#include "object/CPdfDictionary.h"
#include "reader/CPdfXRef.h"

int32_t CPdfMergePart::GetTableSize() const
{
    return static_cast<int32_t>(xref->GetEntries().size());
}

void CPdfMergePart::Fetch(int32_t number, CPdfObject& out) const
{
    out.Clear();
    const auto& entries = xref->GetEntries();
    if (number <= 0 || static_cast<size_t>(number) >= entries.size()) {
        out.SetNull();
        return;
    }
    // A member of an object stream counts as generation 0.
    const XRefEntry& entry = entries[static_cast<size_t>(number)];
    xref->FetchObject(number, entry.type == 2 ? 0 : entry.generation, out);
}

void CPdfMergePart::CatalogValue(const char* key, CPdfObject& out) const
{
    out.Clear();
    if (catalogValue.GetKind() == OBJ_DICTIONARY)
        catalogValue.GetDictionary()->Lookup(key, out);
    else
        out.SetNull();
}

int32_t CPdfMergePart::ReferenceIn(const CPdfObject& dict, const char* key)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return 0;
    CPdfObject value;
    dict.GetDictionary()->LookupRaw(key, value);
    return value.GetKind() == OBJ_REFERENCE ? value.GetRefNum() : 0;
}
