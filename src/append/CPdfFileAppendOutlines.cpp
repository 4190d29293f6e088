// The outline merge: the first document's last top-level item is linked to
// the second document's first, and the first outline root's /Last moved to
// the second document's last item; or, when only the second document has
// outlines, the first catalog gains an /Outlines entry. Runs before the
// objects are copied; the objects it rewrites are written here and skipped
// by the copy.
#include "append/CPdfFileAppend.h"
#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "object/CPdfDictionary.h"
#include "reader/PdfCharClass.h"

namespace {

int32_t ReferencedNumber(const CPdfObject& dict, const char* key)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return 0;
    CPdfObject value;
    dict.GetDictionary()->LookupRaw(key, value);
    return value.GetKind() == OBJ_REFERENCE ? value.GetRefNum() : 0;
}

// " N G R" for a reference written by the merge.
std::string ReferenceText(int64_t number, int32_t generation)
{
    std::string text;
    objecttext::AppendNumber(text, number);
    text += " ";
    objecttext::AppendNumber(text, generation);
    text += " R";
    return text;
}

}  // namespace

void CPdfFileAppend::MergeOutlines()
{
    CPdfObject catalog1, catalog2;
    m_xref1->FetchObject(m_root1, m_xref1->GetRootGen(), catalog1);
    m_xref2->FetchObject(m_root2, m_xref2->GetRootGen(), catalog2);
    m_outline1 = ReferencedNumber(catalog1, "Outlines");
    m_outline2 = ReferencedNumber(catalog2, "Outlines");
    if (m_outline2 == 0)
        return;
    const int64_t offset = m_objectOffset;

    if (m_outline1 == 0) {
        CPdfRawObject text;
        if (!m_reader1->ReadRawObject(m_root1, text, false) || text.IsEmpty() || text.GetLayout().dictOpen < 0)
            return;
        const std::string reference = ReferenceText(m_outline2 + offset, SecondOutputGeneration(m_outline2));
        std::string out;
        uint32_t start = 0, end = 0;
        if (objecttext::FindTopLevelValue(text.GetHead(), text.GetHeadLength(), "/Outlines", start, end)) {
            // An /Outlines written directly (an empty outline, or null): its
            // value is replaced, since a second key would be read by some
            // readers and not by others. A direct outline with items has
            // nowhere to hang the second one.
            CPdfObject outlines;
            catalog1.GetDictionary()->LookupRaw("Outlines", outlines);
            if (ReferencedNumber(outlines, "First") != 0)
                return;
            out.assign(reinterpret_cast<const char*>(text.GetHead()), start);
            out += reference;
            out.append(reinterpret_cast<const char*>(text.GetHead()) + end, text.GetHeadLength() - end);
        } else {
            objecttext::Layout noReferences = text.GetLayout();
            noReferences.references.clear();
            objecttext::Renumber(text.GetHead(), text.GetHeadLength(), noReferences, noReferences.number,
                                 [](int64_t m) { return m; }, "\r/Outlines " + reference, out);
        }
        SetOutputEntry(m_root1, HeaderGeneration(text), GetOutputPosition(), 1);
        Write(out.data(), out.size());
        return;
    }

    CPdfObject root1, root2;
    FetchNode(*m_xref1, m_outline1, root1);
    FetchNode(*m_xref2, m_outline2, root2);
    const int32_t last1 = ReferencedNumber(root1, "Last");
    const int32_t first2 = ReferencedNumber(root2, "First");
    const int32_t last2 = ReferencedNumber(root2, "Last");
    // A second outline without items has nothing to add; links to object 0
    // would name an unrelated object.
    if (first2 <= 0 || last2 <= 0)
        return;
    if (last1 == 0 && ReferencedNumber(root1, "First") == 0) {
        AdoptOutlineItems(first2, last2);
        return;
    }
    if (last1 <= 0 || last1 == m_outline1 || last1 == m_root1 || static_cast<size_t>(last1) >= m_entries1->size())
        return;

    CPdfRawObject rootText, lastText;
    if (!m_reader1->ReadRawObject(m_outline1, rootText, false) || rootText.IsEmpty() ||
        !m_reader1->ReadRawObject(last1, lastText, false) || lastText.IsEmpty())
        return;
    // The root's "/Last N G R": N and G are replaced, everything else stays.
    const uint8_t* t = rootText.GetHead();
    const uint32_t length = rootText.GetHeadLength();
    uint32_t p = bytesearch::FindPattern(t, 0, length, "Last ", 5);
    if (p == 0)
        return;
    ++p;
    while (p < length && t[p] == ' ')
        ++p;
    const uint32_t numberStart = p;
    while (p < length && pdfchar::IsDigit(t[p]))
        ++p;
    const uint32_t numberEnd = p;
    while (p < length && pdfchar::IsWhite(t[p]))
        ++p;
    const uint32_t generationStart = p;
    while (p < length && pdfchar::IsDigit(t[p]))
        ++p;
    const uint32_t generationEnd = p;
    while (p < length && pdfchar::IsWhite(t[p]))
        ++p;
    if (numberEnd == numberStart || generationEnd == generationStart || p >= length || t[p] != 'R')
        return;
    const objecttext::Layout& lastLayout = lastText.GetLayout();
    if (lastLayout.dictOpen < 0)
        return;

    std::string out(reinterpret_cast<const char*>(t), numberStart);
    objecttext::AppendNumber(out, last2 + offset);
    out += " ";
    objecttext::AppendNumber(out, SecondOutputGeneration(last2));
    out.append(reinterpret_cast<const char*>(t) + generationEnd, length - generationEnd);
    SetOutputEntry(m_outline1, HeaderGeneration(rootText), GetOutputPosition(), 1);
    Write(out.data(), out.size());

    const std::string next = "\r/Next " + ReferenceText(first2 + offset, SecondOutputGeneration(first2));
    objecttext::Layout noReferences = lastLayout;
    noReferences.references.clear();
    objecttext::Renumber(lastText.GetHead(), lastText.GetHeadLength(), noReferences, lastLayout.number,
                         [](int64_t m) { return m; }, next, out);
    SetOutputEntry(last1, HeaderGeneration(lastText), GetOutputPosition(), 1);
    Write(out.data(), out.size());
}

void CPdfFileAppend::AdoptOutlineItems(int32_t first2, int32_t last2)
{
    // The first outline root has no items (producers write an empty root):
    // it takes the second document's items as its own.
    CPdfRawObject text;
    if (!m_reader1->ReadRawObject(m_outline1, text, false) || text.IsEmpty())
        return;
    objecttext::Layout layout = text.GetLayout();
    if (layout.dictOpen < 0 || bytesearch::FindPattern(text.GetHead(), 0, layout.split, "/First", 6) != 0 ||
        bytesearch::FindPattern(text.GetHead(), 0, layout.split, "/Last", 5) != 0)
        return;
    const std::string insertion = "\r/First " + ReferenceText(first2 + m_objectOffset, SecondOutputGeneration(first2)) +
                                  "\r/Last " + ReferenceText(last2 + m_objectOffset, SecondOutputGeneration(last2));
    layout.references.clear();
    std::string out;
    objecttext::Renumber(text.GetHead(), text.GetHeadLength(), layout, layout.number, [](int64_t m) { return m; },
                         insertion, out);
    SetOutputEntry(m_outline1, HeaderGeneration(text), GetOutputPosition(), 1);
    Write(out.data(), out.size());
}
