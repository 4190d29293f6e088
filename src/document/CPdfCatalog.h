#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "document/CPdfPage.h"
#include "object/CPdfObject.h"

class CPdfDictionary;
class CPdfXRef;

// The checked document catalog: loading fetches the catalog and walks the
// page tree, checking one page record per leaf, and keeps the catalog
// dictionary it checked, the page count and the numbers of the tree's
// objects. The page records are not kept: the append job needs only the
// count and the checks, and a record per page (with its parsed resources)
// would grow with the document's length.
// Borrows the document's CPdfXRef.
class CPdfCatalog {
public:
    CPdfCatalog();
    CPdfCatalog(const CPdfCatalog&) = delete;
    CPdfCatalog& operator=(const CPdfCatalog&) = delete;
    virtual ~CPdfCatalog();

    // Sees each page record, in reading order, while the walk holds it.
    using PageVisitor = std::function<void(const CPdfPage&)>;

    // Raises CPdfException on the first problem found; visit (when given)
    // is called with every page once it has passed its checks.
    void Load(CPdfXRef* resolver, const PageVisitor& visit = PageVisitor());

    // What the checks found an object of the page tree to be: the copy of
    // the document must read the same (see PageTreeShape).
    enum class ETreeRole : uint8_t { kNone, kCatalog, kNode, kPage };
    struct TreeObject {
        int32_t number;
        ETreeRole role;
    };
    // The catalog, the page-tree nodes and the pages that are objects of
    // their own, in the order the walk met them.
    const std::vector<TreeObject>& GetTreeObjects() const { return m_treeObjects; }
    // Whether value is what role needs: a dictionary, with /Pages for the
    // catalog, a /Kids array for a node, /Type /Page for a page.
    static bool HasShape(const CPdfObject& value, ETreeRole role);

    int32_t GetPageCount() const { return m_pageCount; }
    // The catalog dictionary, as the checks read it.
    const CPdfObject& GetValue() const { return m_catalog; }

private:
    // Appends the pages under one node (nodeNumber: its object number, -1
    // when it is direct), depth first in /Kids order, carrying down the
    // /Resources and /Rotate that pages inherit. Walks
    // with its own stack, so a deep tree cannot exhaust the call stack; a
    // kid that leads back to one of its ancestors, or more nodes than the
    // file has objects, is refused as a cycle.
    void LoadPages(const CPdfObject& node, int32_t nodeNumber, const PageVisitor& visit);

    CPdfXRef* m_resolver = nullptr;
    int32_t m_pageCount = 0;
    CPdfObject m_catalog;
    std::vector<TreeObject> m_treeObjects;
};
