#include "document/CPdfPage.h"

#include <cstdio>
#include <string>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfDictionary.h"

namespace {

bool IsReferenceArrayOrNull(const CPdfObject& value)
{
    const EPdfObjectKind kind = value.GetKind();
    return kind == OBJ_REFERENCE || kind == OBJ_ARRAY || kind == OBJ_NULL;
}

}  // namespace

CPdfPage::CPdfPage() = default;

void CPdfPage::Load(int32_t pageNumber, CPdfResolver* resolver, const CPdfDictionary& page,
                    const PageInheritance& inherited)
{
    m_pageNumber = pageNumber;
    m_resolver = resolver;
    page.LookupRaw("Contents", m_contents);
    if (!IsReferenceArrayOrNull(m_contents))
        m_contents.SetNull();
    // A page's own entry that is not a dictionary (null, a dangling
    // reference) is passed over like an absent one, as viewers do.
    page.Lookup("Resources", m_resources);
    if (m_resources.GetKind() != OBJ_DICTIONARY && inherited.resources.GetKind() == OBJ_DICTIONARY)
        m_resources.CopyFrom(inherited.resources);
    if (m_resources.GetKind() != OBJ_DICTIONARY) {
        m_resources.Clear();
        throw CPdfException(msg::kResourcesNotFound)
            .Because("neither page " + std::to_string(pageNumber) + " nor a page-tree node above it has a /Resources dictionary");
    }
    page.LookupRaw("Annots", m_annots);
    if (!IsReferenceArrayOrNull(m_annots)) {
        m_annots.Clear();
        char text[96];
        std::snprintf(text, sizeof(text), msg::kAnnotsWrongType, static_cast<int>(pageNumber));
        throw CPdfException(text);
    }
    CPdfObject rotate;
    page.Lookup("Rotate", rotate);
    if (rotate.GetKind() != OBJ_INTEGER)
        rotate.CopyFrom(inherited.rotate);
    m_rotation = rotate.GetKind() == OBJ_INTEGER ? rotate.GetInt() : 0;
    m_rotation %= 360;
    if (m_rotation < 0)
        m_rotation += 360;
}
