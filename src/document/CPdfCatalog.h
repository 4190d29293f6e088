#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/CPdfPage.h"
#include "object/CPdfObject.h"

class CPdfDictionary;
class CPdfXRef;

// The checked document catalog: loading fetches the catalog and walks the
// page tree, building one page record per leaf, and keeps the Outlines entry
// and the Dests of the Names dictionary. Borrows the document's CPdfXRef.
class CPdfCatalog {
public:
    CPdfCatalog();
    CPdfCatalog(const CPdfCatalog&) = delete;
    CPdfCatalog& operator=(const CPdfCatalog&) = delete;
    virtual ~CPdfCatalog();

    // Raises CPdfException on the first problem found.
    void Load(CPdfXRef* resolver);

    int32_t GetPageCount() const { return static_cast<int32_t>(m_pages.size()); }
    const CPdfPage& GetPage(int32_t index) const { return m_pages[static_cast<size_t>(index)]; }
    const CPdfObject& GetOutlines() const { return m_outlines; }
    const CPdfObject& GetDests() const { return m_dests; }

private:
    // Appends the pages under one node (nodeNumber: its object number, -1
    // when it is direct), depth first in /Kids order, carrying down the
    // /Resources and /Rotate that pages inherit. Walks
    // with its own stack, so a deep tree cannot exhaust the call stack; a
    // kid that leads back to one of its ancestors, or more nodes than the
    // file has objects, is refused as a cycle.
    void LoadPages(const CPdfObject& node, int32_t nodeNumber);

    CPdfXRef* m_resolver = nullptr;
    std::vector<CPdfPage> m_pages;
    CPdfObject m_outlines;
    CPdfObject m_dests;
};
