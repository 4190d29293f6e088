#include "document/CPdfCatalog.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfXRef.h"

CPdfCatalog::CPdfCatalog() = default;

CPdfCatalog::~CPdfCatalog() = default;

void CPdfCatalog::Load(CPdfXRef* resolver, const PageVisitor& visit)
{
    m_resolver = resolver;
    m_pageCount = 0;
    m_treeObjects.clear();
    m_treeObjects.push_back({resolver->GetRootNum(), ETreeRole::kCatalog});
    CPdfObject catalog;
    resolver->FetchObject(resolver->GetRootNum(), resolver->GetRootGen(), catalog);
    if (catalog.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kCatalogWrongType)
            .Because("the catalog (object " + std::to_string(resolver->GetRootNum()) + ") is not a dictionary");
    CPdfObject pages;
    catalog.GetDictionary()->Lookup("Pages", pages);
    if (pages.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kPagesWrongType).Because("the catalog's /Pages is not a dictionary");
    CPdfObject count;
    pages.GetDictionary()->Lookup("Count", count);
    if (count.GetKind() != OBJ_INTEGER && count.GetKind() != OBJ_REAL)
        throw CPdfException(msg::kPageCountWrongType).Because("the page tree root has no number as its /Count");
    CPdfObject pagesRef;
    catalog.GetDictionary()->LookupRaw("Pages", pagesRef);
    if (pagesRef.GetKind() == OBJ_REFERENCE)
        m_treeObjects.push_back({pagesRef.GetRefNum(), ETreeRole::kNode});
    LoadPages(pages, pagesRef.GetKind() == OBJ_REFERENCE ? pagesRef.GetRefNum() : -1, visit);
    // The outline and the named destinations are read too: one that names
    // an object beyond the table, or cannot be parsed, refuses the document
    // here rather than leaving the merges a reference to some other object.
    CPdfObject names, dests, outlines;
    catalog.GetDictionary()->Lookup("Names", names);
    if (names.GetKind() == OBJ_DICTIONARY)
        names.GetDictionary()->Lookup("Dests", dests);
    catalog.GetDictionary()->Lookup("Outlines", outlines);
    m_catalog = std::move(catalog);
}

bool CPdfCatalog::HasShape(const CPdfObject& value, ETreeRole role)
{
    if (value.GetKind() != OBJ_DICTIONARY)
        return role == ETreeRole::kNone;
    const CPdfDictionary& dict = *value.GetDictionary();
    switch (role) {
    case ETreeRole::kCatalog: {
        CPdfObject pages;
        dict.Lookup("Pages", pages);
        return pages.GetKind() == OBJ_DICTIONARY;
    }
    case ETreeRole::kNode:
        return dict.HasArray("Kids");
    case ETreeRole::kPage:
        return dict.IsType("Page");
    case ETreeRole::kNone:
        break;
    }
    return true;
}

void CPdfCatalog::LoadPages(const CPdfObject& node, int32_t nodeNumber, const PageVisitor& visit)
{
    struct Frame {
        CPdfObject kids;            // the node's /Kids array
        int32_t index;              // next element to visit
        int32_t objectNumber;       // the node's number, -1 for a direct node
        PageInheritance inherited;  // what the node's kids take from it and above
    };
    const size_t nodeLimit = m_resolver->GetEntries().size() + 1;
    size_t visited = 0;
    std::vector<Frame> stack;
    std::unordered_set<int32_t> path;  // object numbers of the nodes on the stack

    // "page-tree node (object 7)", or without a number for a direct node.
    auto describe = [](int32_t objectNumber) {
        return objectNumber < 0 ? std::string("a page-tree node")
                                : "page-tree node (object " + std::to_string(objectNumber) + ")";
    };
    auto enter = [&](const CPdfObject& dict, int32_t objectNumber, const PageInheritance& above) {
        CPdfObject kids;
        dict.GetDictionary()->Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY)
            throw CPdfException(msg::kKidsWrongType).Because(describe(objectNumber) + " has no /Kids array");
        if (++visited > nodeLimit)
            throw CPdfException(msg::kPageTreeCycle).Because("the page tree has more nodes than the file has objects");
        if (objectNumber >= 0 && !path.insert(objectNumber).second)
            throw CPdfException(msg::kPageTreeCycle).Because(describe(objectNumber) + " is its own ancestor");
        // The nearest value of the right kind wins; one of another kind (a
        // null, a dangling reference) is passed over as if absent.
        PageInheritance inherited;
        dict.GetDictionary()->Lookup("Resources", inherited.resources);
        if (inherited.resources.GetKind() != OBJ_DICTIONARY)
            inherited.resources = above.resources;
        dict.GetDictionary()->Lookup("Rotate", inherited.rotate);
        if (inherited.rotate.GetKind() != OBJ_INTEGER)
            inherited.rotate = above.rotate;
        stack.push_back(Frame{std::move(kids), 0, objectNumber, std::move(inherited)});
    };

    enter(node, nodeNumber, PageInheritance());
    while (!stack.empty()) {
        Frame& top = stack.back();
        CPdfArray* kids = top.kids.GetArray();
        if (top.index >= kids->GetSize()) {
            if (top.objectNumber >= 0)
                path.erase(top.objectNumber);
            stack.pop_back();
            continue;
        }
        const int32_t index = top.index++;
        CPdfObject raw;
        kids->GetRaw(index, raw);
        CPdfObject kid;
        kids->Get(index, kid);
        if (kid.GetKind() != OBJ_DICTIONARY) {
            const std::string which = raw.GetKind() == OBJ_REFERENCE
                                          ? "object " + std::to_string(raw.GetRefNum())
                                          : "element " + std::to_string(index);
            throw CPdfException(msg::kKidWrongType)
                .Because("the /Kids of " + describe(top.objectNumber) + " name " + which + ", which is not a dictionary");
        }
        const bool isPage = kid.GetDictionary()->IsType("Page");
        if (raw.GetKind() == OBJ_REFERENCE)
            m_treeObjects.push_back({raw.GetRefNum(), isPage ? ETreeRole::kPage : ETreeRole::kNode});
        if (isPage) {
            CPdfPage page;
            page.Load(m_pageCount + 1, m_resolver, *kid.GetDictionary(), top.inherited);
            ++m_pageCount;
            if (visit)
                visit(page);
            continue;
        }
        // top is not used after this: entering may move the stack.
        const PageInheritance above = top.inherited;
        enter(kid, raw.GetKind() == OBJ_REFERENCE ? raw.GetRefNum() : -1, above);
    }
}
