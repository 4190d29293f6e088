#pragma once

#include <cstdint>

#include "object/CPdfObject.h"

class CPdfXRef;

// One input as the document-level merges see it: its cross-reference data
// (borrowed from the open document) and what opening it checked, the
// catalog among them, read once and handed to every merge.
struct CPdfMergePart {
    CPdfXRef* xref = nullptr;
    int32_t catalog = 0;    // numbers in the input's own numbering
    CPdfObject catalogValue;  // the catalog dictionary the page-tree check read
    int32_t pageTree = 0;   // its root page-tree node
    int32_t pageCount = 0;  // leaves in reading order

    // The entries of its table (object numbers 0 to size - 1).
    int32_t GetTableSize() const;
    // The object number of this input (generation from its entry), OBJ_NULL
    // when it is not there; numbers outside the table give OBJ_NULL too.
    void Fetch(int32_t number, CPdfObject& out) const;
    // The value of key in the catalog, dereferenced (OBJ_NULL when absent).
    void CatalogValue(const char* key, CPdfObject& out) const;
    // The number key refers to in dict (a dictionary value), else 0.
    static int32_t ReferenceIn(const CPdfObject& dict, const char* key);
};
