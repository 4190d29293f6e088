// The page-tree merge: the first document's root node, held back while the
// objects were copied, is written last with the second document's root node
// added to its /Kids and the page counts summed.
#include <cstring>

#include "append/CPdfFileAppend.h"
#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "object/CPdfDictionary.h"
#include "reader/PdfCharClass.h"

namespace {

size_t FindByte(const std::string& text, size_t from, char byte)
{
    return from >= text.size() ? std::string::npos : text.find(byte, from);
}

// Replaces the value after the first "/Count" by sum: the first run of
// digits after the key, or, when the count is an indirect reference, the
// whole "N G R" (writing the sum over only its number would name object
// "sum" instead).
void ReplaceCount(std::string& text, int64_t sum, bool indirect)
{
    const size_t key = text.find("/Count");
    if (key == std::string::npos)
        return;
    size_t first = key + 1;
    while (first < text.size() && !pdfchar::IsDigit(text[first]))
        ++first;
    if (first >= text.size())
        return;
    size_t end = first;
    while (end < text.size() && pdfchar::IsDigit(text[end]))
        ++end;
    if (indirect) {
        size_t p = end;
        while (p < text.size() && pdfchar::IsWhite(static_cast<uint8_t>(text[p])))
            ++p;
        const size_t generation = p;
        while (p < text.size() && pdfchar::IsDigit(text[p]))
            ++p;
        const bool hasGeneration = p > generation;
        while (p < text.size() && pdfchar::IsWhite(static_cast<uint8_t>(text[p])))
            ++p;
        if (hasGeneration && p < text.size() && text[p] == 'R')
            end = p + 1;
    }
    std::string replacement = " ";
    objecttext::AppendNumber(replacement, sum);
    text.replace(first, end - first, replacement);
}

}  // namespace

void CPdfFileAppend::MergePageTrees(CPdfRawObject& rootText)
{
    if (rootText.IsEmpty() || !rootText.Materialize())
        return;
    std::string edit(reinterpret_cast<const char*>(rootText.GetHead()), rootText.GetHeadLength());
    const int64_t count1 = PageCount(*m_xref1, m_pages1, m_doc1);
    const int64_t count2 = PageCount(*m_xref2, m_pages2, m_doc2);

    std::string kid = " ";
    objecttext::AppendNumber(kid, static_cast<int64_t>(m_pages2) + m_objectOffset);
    kid += " ";
    objecttext::AppendNumber(kid, m_outputTable[static_cast<size_t>(m_pages2 + m_objectOffset)].generation);
    kid += " R ";

    CPdfObject root;
    FetchNode(*m_xref1, m_pages1, root);
    CPdfObject kids, count;
    if (root.GetKind() == OBJ_DICTIONARY) {
        root.GetDictionary()->LookupRaw("Kids", kids);
        root.GetDictionary()->LookupRaw("Count", count);
    }
    if (kids.GetKind() == OBJ_REFERENCE) {
        // A second copy of the array object, with the new kid; the copy made
        // with the other objects stays in the file, no longer referenced.
        CPdfRawObject array;
        if (m_reader1->ReadRawObject(kids.GetRefNum(), array, false) && !array.IsEmpty()) {
            std::string text(reinterpret_cast<const char*>(array.GetHead()), array.GetHeadLength());
            const size_t close = FindByte(text, 0, ']');
            if (close != std::string::npos)
                text.insert(close, kid);
            SetOutputEntry(kids.GetRefNum(), HeaderGeneration(array), GetOutputPosition(), 1);
            Write(text.data(), text.size());
        }
    } else if (kids.GetKind() == OBJ_ARRAY) {
        const size_t key = edit.find("/Kids");
        const size_t close = key == std::string::npos ? std::string::npos : FindByte(edit, key, ']');
        if (close != std::string::npos)
            edit.insert(close, kid);
    }
    ReplaceCount(edit, count1 + count2, count.GetKind() == OBJ_REFERENCE);
    SetOutputEntry(m_pages1, HeaderGeneration(rootText), GetOutputPosition(), 1);
    Write(edit.data(), edit.size());
}
