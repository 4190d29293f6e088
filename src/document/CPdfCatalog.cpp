#include "document/CPdfCatalog.h"

#include <unordered_set>

#include "main/CPdfException.h"
#include "main/Messages.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfXRef.h"

CPdfCatalog::CPdfCatalog() = default;

CPdfCatalog::~CPdfCatalog()
{
    m_dests.Clear();
    m_outlines.Clear();
    m_pages.clear();
}

void CPdfCatalog::Load(CPdfXRef* resolver)
{
    m_resolver = resolver;
    m_pages.clear();
    CPdfObject catalog;
    resolver->FetchObject(resolver->GetRootNum(), resolver->GetRootGen(), catalog);
    if (catalog.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kCatalogWrongType);
    CPdfObject pages;
    catalog.GetDictionary()->Lookup("Pages", pages);
    if (pages.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kPagesWrongType);
    CPdfObject count;
    pages.GetDictionary()->Lookup("Count", count);
    if (count.GetKind() != OBJ_INTEGER && count.GetKind() != OBJ_REAL)
        throw CPdfException(msg::kPageCountWrongType);
    CPdfObject pagesRef;
    catalog.GetDictionary()->LookupRaw("Pages", pagesRef);
    LoadPages(pages, pagesRef.GetKind() == OBJ_REFERENCE ? pagesRef.GetRefNum() : -1);
    CPdfObject names;
    catalog.GetDictionary()->Lookup("Names", names);
    if (names.GetKind() == OBJ_DICTIONARY)
        names.GetDictionary()->Lookup("Dests", m_dests);
    else
        m_dests.SetNull();
    catalog.GetDictionary()->Lookup("Outlines", m_outlines);
}

void CPdfCatalog::LoadPages(const CPdfObject& node, int32_t nodeNumber)
{
    struct Frame {
        CPdfObject kids;       // the node's /Kids array
        int32_t index;         // next element to visit
        int32_t objectNumber;  // the node's number, -1 for a direct node
    };
    const size_t nodeLimit = m_resolver->GetEntries().size() + 1;
    size_t visited = 0;
    std::vector<Frame> stack;
    std::unordered_set<int32_t> path;  // object numbers of the nodes on the stack

    auto enter = [&](const CPdfObject& dict, int32_t objectNumber) {
        CPdfObject kids;
        dict.GetDictionary()->Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY)
            throw CPdfException(msg::kKidsWrongType);
        if (++visited > nodeLimit || (objectNumber >= 0 && !path.insert(objectNumber).second))
            throw CPdfException(msg::kPageTreeCycle);
        stack.push_back(Frame{std::move(kids), 0, objectNumber});
    };

    enter(node, nodeNumber);
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
        if (kid.GetKind() != OBJ_DICTIONARY)
            throw CPdfException(msg::kKidWrongType);
        if (kid.GetDictionary()->IsType("Page")) {
            CPdfPage page;
            page.Load(static_cast<int32_t>(m_pages.size()) + 1, m_resolver, *kid.GetDictionary());
            m_pages.push_back(page);
            continue;
        }
        enter(kid, raw.GetKind() == OBJ_REFERENCE ? raw.GetRefNum() : -1);
    }
}
