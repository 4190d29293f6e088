#pragma once

#include <cstdint>

#include "object/CPdfObject.h"

class CPdfDictionary;
class CPdfResolver;

// What a page takes from the nodes above it when its own dictionary does not
// say: the nearest /Resources dictionary and /Rotate integer among its
// ancestors (OBJ_NONE when no ancestor has one).
struct PageInheritance {
    CPdfObject resources;
    CPdfObject rotate;
};

// One leaf of a page tree: its number in reading order, the Contents,
// Resources and Annots entries the reader keeps, and its rotation, both
// possibly inherited. Loading is where a page must have a Resources
// dictionary of its own or from an ancestor, and a well-formed Annots entry.
// Borrows the document's resolver.
class CPdfPage {
public:
    CPdfPage();
    CPdfPage(const CPdfPage& other) = default;
    CPdfPage& operator=(const CPdfPage& other) = default;
    virtual ~CPdfPage() = default;

    // Raises "Resources are not found" or the annotations message.
    void Load(int32_t pageNumber, CPdfResolver* resolver, const CPdfDictionary& page,
              const PageInheritance& inherited);

    int32_t GetRotation() const { return m_rotation; }
    int32_t GetPageNumber() const { return m_pageNumber; }
    const CPdfObject& GetContents() const { return m_contents; }
    const CPdfObject& GetResources() const { return m_resources; }
    const CPdfObject& GetAnnots() const { return m_annots; }

private:
    int32_t m_rotation = 0;
    int32_t m_pageNumber = 0;
    CPdfResolver* m_resolver = nullptr;
    CPdfObject m_contents;
    CPdfObject m_resources;
    CPdfObject m_annots;
};
