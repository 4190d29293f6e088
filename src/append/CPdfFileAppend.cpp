#include "append/CPdfFileAppend.h"

#include <sys/stat.h>

#include <cstdio>

#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "document/CPdfCatalog.h"
#include "main/CPdfException.h"
#include "main/Messages.h"
#include "object/CPdfDictionary.h"
#include "main/PdfFileFormat.h"

namespace {

// Same path, or the same existing file reached another way.
bool SameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool IsObjectStream(const CPdfRawObject& text)
{
    // Judged from the object's dictionary only: stream data (an attached
    // PDF, say) may hold the word without the object being one.
    const objecttext::Layout& layout = text.GetLayout();
    return layout.isStream && bytesearch::FindPattern(text.GetHead(), 0, layout.split, "ObjStm", 6) != 0;
}

}  // namespace

CPdfFileAppend::CPdfFileAppend() = default;

CPdfFileAppend::~CPdfFileAppend() = default;

bool CPdfFileAppend::ParseArguments(int argc, char** argv)
{
    m_firstName.clear();
    m_secondName.clear();
    m_outputName.clear();
    switch (argc) {
    case 2:
        m_firstName = argv[1];
        break;
    case 3:
        m_firstName = argv[1];
        m_secondName = argv[2];
        break;
    case 4:
        m_firstName = argv[1];
        m_secondName = argv[2];
        if (std::string(argv[3]) == "/s")
            m_compact = true;
        else
            m_outputName = argv[3];
        break;
    case 5:
        // Any fourth argument turns the compact switch on.
        m_firstName = argv[1];
        m_secondName = argv[2];
        m_outputName = argv[3];
        m_compact = true;
        break;
    default:
        break;
    }
    if (m_firstName.empty() || m_secondName.empty())
        throw CPdfException(msg::kWrongParameters);
    if (m_outputName.empty())
        m_outputName = kInPlaceName;
    return true;
}

void CPdfFileAppend::CheckOutputName() const
{
    // Creating the output would destroy an input of the same name.
    if (SameFile(m_outputName, m_firstName) || SameFile(m_outputName, m_secondName))
        throw CPdfException(msg::kOutputEqualsInput);
}

bool CPdfFileAppend::Run()
{
    CheckOutputName();
    OpenInputs();
    const int32_t t1 = static_cast<int32_t>(m_entries1->size());
    const int32_t t2 = static_cast<int32_t>(m_entries2->size());
    const int32_t n = t1 + t2 - 1;
    if (m_compact)
        m_fingerprints.assign(static_cast<size_t>(n), fingerprint::Fingerprint{});
    ResetXRefTable(n);

    std::string version = m_doc1.GetVersion();
    if (version < m_doc2.GetVersion())
        version = m_doc2.GetVersion();
    WriteHeader(version);
    m_objectOffset = t1 - 1;

    MergeOutlines();
    m_pages1 = FindPageTreeRoot(*m_xref1);
    m_pages2 = FindPageTreeRoot(*m_xref2);
    m_kids1 = IndirectKids();
    CopyFirstDocument();
    if (m_compact)
        BuildDuplicateMap();
    CopySecondDocument();
    FinishOutput();
    return true;
}

void CPdfFileAppend::OpenInputs()
{
    m_doc1.Open(m_firstName);
    m_xref1 = m_doc1.GetXRef();
    m_root1 = m_xref1->GetRootNum();
    m_info1 = m_xref1->GetInfoNum();
    m_entries1 = &m_xref1->GetEntries();
    m_doc2.Open(m_secondName);
    m_xref2 = m_doc2.GetXRef();
    m_root2 = m_xref2->GetRootNum();
    m_info2 = m_xref2->GetInfoNum();
    m_entries2 = &m_xref2->GetEntries();

    m_raw1.reset(std::fopen(m_firstName.c_str(), "rb"));
    m_raw2.reset(std::fopen(m_secondName.c_str(), "rb"));
    bool created = false;
    if (m_raw1 && m_raw2) {
        // The in-place form writes "temp.tmp" as asked; any other name is
        // written beside its final place and moved there at the end.
        if (m_outputName == kInPlaceName)
            created = m_outputFile.CreateAt(m_outputName);
        else
            created = m_outputFile.CreateBeside(m_outputName);
    }
    if (!created)
        throw CPdfException(msg::kFileOpenError);
    AttachOutput(m_outputFile.Get());
    m_reader1 = std::make_unique<CPdfRawReader>(fileno(m_raw1.get()), *m_xref1);
    m_reader2 = std::make_unique<CPdfRawReader>(fileno(m_raw2.get()), *m_xref2);
}

int32_t CPdfFileAppend::FindPageTreeRoot(CPdfXRef& xref) const
{
    CPdfObject catalog;
    xref.FetchObject(xref.GetRootNum(), xref.GetRootGen(), catalog);
    CPdfObject pages;
    if (catalog.GetKind() == OBJ_DICTIONARY)
        catalog.GetDictionary()->LookupRaw("Pages", pages);
    // Hanging one tree under the other needs both roots as objects of their
    // own; a page tree written into the catalog itself has no number.
    if (pages.GetKind() != OBJ_REFERENCE || pages.GetRefNum() <= 0 ||
        static_cast<size_t>(pages.GetRefNum()) >= xref.GetEntries().size())
        throw CPdfException(msg::kPageTreeNotObject);
    return pages.GetRefNum();
}

int32_t CPdfFileAppend::IndirectKids() const
{
    CPdfObject root, kids;
    FetchNode(*m_xref1, m_pages1, root);
    if (root.GetKind() == OBJ_DICTIONARY)
        root.GetDictionary()->LookupRaw("Kids", kids);
    return kids.GetKind() == OBJ_REFERENCE ? kids.GetRefNum() : 0;
}

void CPdfFileAppend::WriteRawObject(const CPdfRawObject& text)
{
    Write(text.GetHead(), text.GetHeadLength());
    CopyFromFile(text.GetTailFd(), text.GetTailPosition(), text.GetTailLength());
}

objecttext::Target CPdfFileAppend::MapReference(int64_t number) const
{
    // Object 0 is never an object: such a reference stays as it was rather
    // than naming one of the first document's objects.
    if (number <= 0)
        return {-1};
    if (number < static_cast<int64_t>(m_duplicates.size())) {
        const DuplicateEntry& d = m_duplicates[static_cast<size_t>(number)];
        // Shared: the first document's object, under its own generation.
        if (d.matched || d.target != number)
            return {d.target, m_outputTable[static_cast<size_t>(d.target)].generation};
    }
    // Numbers beyond the second table were dangling there and stay dangling:
    // raised by the same offset they lie beyond the output table.
    return {number + m_objectOffset};
}

void CPdfFileAppend::WriteSecondObject(int32_t number, const CPdfRawObject& text, const std::string& insertion)
{
    objecttext::Renumber(
        text.GetHead(), text.GetHeadLength(), text.GetLayout(), static_cast<int64_t>(number) + m_objectOffset,
        [this](int64_t m) { return MapReference(m); }, insertion, m_rewritten);
    Write(m_rewritten.data(), m_rewritten.size());
    CopyFromFile(text.GetTailFd(), text.GetTailPosition(), text.GetTailLength());
}

void CPdfFileAppend::CopyFirstDocument()
{
    const int32_t t1 = static_cast<int32_t>(m_entries1->size());
    for (int32_t i = 1; i < t1; ++i) {
        if (m_outputTable[static_cast<size_t>(i)].offset != -1)
            continue;
        XRefEntry& out = m_outputTable[static_cast<size_t>(i)];
        out = {GetOutputPosition(), 0, (*m_entries1)[static_cast<size_t>(i)].type};
        const bool heldBack = i == m_pages1;
        // An entry without text is left free rather than pointing at some
        // other object's bytes.
        if (!m_reader1->ReadRawObject(i, m_text, !m_compact && !heldBack) || m_text.IsEmpty()) {
            out.type = 0;
            continue;
        }
        out.generation = HeaderGeneration(m_text);
        out.type = 1;
        if (heldBack) {
            m_heldRoot = std::move(m_text);
            continue;
        }
        if (IsObjectStream(m_text)) {
            out.type = 0;
            continue;
        }
        WriteRawObject(m_text);
        // The fingerprint skips the header "i 0 obj" and one line-end byte.
        // The indirect /Kids array of the root is rewritten later, so no
        // object may be shared into it.
        const uint32_t start = static_cast<uint32_t>(pdfformat::CountDigits(i)) + 7;
        if (m_compact && i != m_kids1 && start < m_text.GetHeadLength())
            m_fingerprints[static_cast<size_t>(i)] = fingerprint::Compute(m_text.GetHead(), m_text.GetHeadLength(), start);
    }
    m_text.Release();
}

void CPdfFileAppend::CopySecondDocument()
{
    const int32_t t2 = static_cast<int32_t>(m_entries2->size());
    const int32_t parentGeneration = m_outputTable[static_cast<size_t>(m_pages1)].generation;
    std::string parent = "\r/Parent ";
    objecttext::AppendNumber(parent, m_pages1);
    parent += " ";
    objecttext::AppendNumber(parent, parentGeneration);
    parent += " R";
    parent += InheritanceStops();
    for (int32_t i = 1; i < t2; ++i) {
        const int32_t k = i + m_objectOffset;
        XRefEntry& out = m_outputTable[static_cast<size_t>(k)];
        if (out.offset != -1)
            continue;
        const XRefEntry& in = (*m_entries2)[static_cast<size_t>(i)];
        out = {GetOutputPosition(), 0, in.type};
        const bool shared = m_compact && m_duplicates[static_cast<size_t>(i)].matched;
        if (in.type == 0 || i == m_root2 || i == m_info2 || shared) {
            out.type = 0;
            continue;
        }
        if (!m_reader2->ReadRawObject(i, m_text, true) || m_text.IsEmpty() || IsObjectStream(m_text)) {
            out.type = 0;
            continue;
        }
        out.generation = HeaderGeneration(m_text);
        out.type = 1;
        WriteSecondObject(i, m_text, i == m_pages2 ? parent : std::string());
    }
    m_text.Release();
}

std::string CPdfFileAppend::InheritanceStops()
{
    // Pages inherit /Rotate, /CropBox and /MediaBox from their ancestors.
    // Hung under the first root node, the second document's pages would take
    // what that node sets and their own tree does not: its root node gets the
    // values those pages had by default instead. A crop box larger than any
    // page is cut to each page's media box, which is the default crop box.
    CPdfObject root1, root2;
    FetchNode(*m_xref1, m_pages1, root1);
    FetchNode(*m_xref2, m_pages2, root2);
    if (root1.GetKind() != OBJ_DICTIONARY || root2.GetKind() != OBJ_DICTIONARY)
        return std::string();
    const CPdfDictionary& first = *root1.GetDictionary();
    const CPdfDictionary& second = *root2.GetDictionary();
    auto has = [](const CPdfDictionary& d, const char* key) {
        CPdfObject value;
        d.LookupRaw(key, value);
        return value.GetKind() != OBJ_NULL;
    };
    std::string stops;
    CPdfObject rotate;
    first.Lookup("Rotate", rotate);
    if (rotate.GetKind() == OBJ_INTEGER && rotate.GetInt() % 360 != 0 && !has(second, "Rotate"))
        stops += "\r/Rotate 0";
    if (has(first, "CropBox") && !has(second, "CropBox"))
        stops += "\r/CropBox [-32767 -32767 32767 32767]";
    if (has(first, "MediaBox") && !has(second, "MediaBox"))
        stops += "\r/MediaBox [0 0 612 792]";
    return stops;
}

void CPdfFileAppend::FetchNode(CPdfXRef& xref, int32_t number, CPdfObject& out)
{
    // An object held in an object stream counts as generation 0; a number
    // outside the table is refused by the fetch itself.
    const auto& entries = xref.GetEntries();
    const bool inTable = number >= 0 && static_cast<size_t>(number) < entries.size();
    const XRefEntry entry = inTable ? entries[static_cast<size_t>(number)] : XRefEntry{-1, 0, 0};
    xref.FetchObject(number, entry.type == 2 ? 0 : entry.generation, out);
}

int32_t CPdfFileAppend::HeaderGeneration(const CPdfRawObject& text)
{
    return text.GetLayout().hasHeader ? text.GetLayout().generation : 0;
}

int32_t CPdfFileAppend::SecondOutputGeneration(int32_t number)
{
    CPdfRawObject text;
    if (!m_reader2->ReadRawObject(number, text, true))
        return 0;
    return HeaderGeneration(text);
}

int32_t CPdfFileAppend::PageCount(CPdfXRef& xref, int32_t root, const CPdfDocument& doc)
{
    CPdfObject node;
    FetchNode(xref, root, node);
    if (node.GetKind() == OBJ_DICTIONARY) {
        CPdfObject count;
        node.GetDictionary()->Lookup("Count", count);
        if (count.GetKind() == OBJ_INTEGER)
            return count.GetInt();
    }
    // No integer /Count: the pages the tree walk found.
    return doc.GetCatalog()->GetPageCount();
}

void CPdfFileAppend::FinishOutput()
{
    MergePageTrees(m_heldRoot);
    m_heldRoot.Release();
    const int64_t startXRef = GetOutputPosition();
    WriteXRefTable();
    WriteTrailer(startXRef, m_xref1->GetTrailer());
    m_reader1.reset();
    m_reader2.reset();
    m_raw1.reset();
    m_raw2.reset();
    m_doc1.Close();
    m_doc2.Close();
    m_xref1 = m_xref2 = nullptr;
    m_entries1 = m_entries2 = nullptr;
    if (m_outputName == kInPlaceName) {
        if (!m_outputFile.Close())
            throw CPdfException(msg::kWriteError);
        ReplaceFirstInput();
        return;
    }
    if (!m_outputFile.Commit(m_outputName))
        throw CPdfException(msg::kWriteError);
}

void CPdfFileAppend::ReplaceFirstInput()
{
    // Renaming over the first input replaces it in one step; it is never
    // removed before its replacement is in place.
    if (std::rename(kInPlaceName, m_firstName.c_str()) == 0) {
        m_outputFile.Keep();
        return;
    }
    // rename fails across file systems: copy the result beside the first
    // input and rename that copy over it.
    CPdfOutputFile beside;
    if (beside.CreateBeside(m_firstName) && beside.CopyFrom(kInPlaceName) && beside.Commit(m_firstName)) {
        m_outputFile.Discard();
        return;
    }
    beside.Discard();
    m_outputFile.Keep();
    throw CPdfException(msg::kCantReplaceInput);
}
