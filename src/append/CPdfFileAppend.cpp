#include "append/CPdfFileAppend.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "append/CPdfDestinationMerge.h"
#include "append/CPdfFormMerge.h"
#include "append/CPdfLayerMerge.h"
#include "append/CPdfOutlineMerge.h"
#include "append/CPdfPageLabelMerge.h"
#include "append/CPdfPageTreeMerge.h"
#include "append/CPdfTextEdit.h"
#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "document/CPdfCatalog.h"
#include "main/CPdfException.h"
#include "main/Messages.h"
#include "main/PdfDiagnostics.h"
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

// A cross-reference stream of an encrypted document names its /Encrypt
// dictionary, which the output has not: left in the output, it would tell a
// reader rebuilding the file that the file is encrypted.
bool IsEncryptedXRefStream(const CPdfRawObject& text, const CPdfXRef& xref)
{
    const objecttext::Layout& layout = text.GetLayout();
    if (xref.GetSecurityHandler() == nullptr || !layout.isStream)
        return false;
    uint32_t start = 0, end = 0;
    const CPdfTextEdit dict(text.GetHead(), text.GetHeadLength(), layout.split);
    return dict.FindValue("/Type", start, end) &&
           std::string(reinterpret_cast<const char*>(text.GetHead()) + start, end - start) == "/XRef";
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
    if (m_firstName.empty() || m_secondName.empty()) {
        const char* reason = argc < 3   ? msg::kMissingSecondInput
                             : argc > 5 ? msg::kTooManyArguments
                                        : msg::kEmptyInputName;
        throw CPdfException(msg::kWrongParameters).Because(std::string(reason) + msg::kSeeHelp);
    }
    if (m_outputName.empty())
        m_outputName = kInPlaceName;
    return true;
}

void CPdfFileAppend::CheckOutputName() const
{
    // Writing the output would destroy an input of the same name. The
    // in-place form writes no file of the name "temp.tmp".
    if (m_outputName == kInPlaceName)
        return;
    if (SameFile(m_outputName, m_firstName) || SameFile(m_outputName, m_secondName))
        throw CPdfException(msg::kOutputEqualsInput).InFile(m_outputName).Because(msg::kIsAnInput);
}

bool CPdfFileAppend::Run()
{
    CheckOutputName();
    OpenInputs();
    const int32_t t1 = static_cast<int32_t>(m_entries1->size());
    m_objectOffset = t1 - 1;
    m_pages1 = FindPageTreeRoot(*m_xref1);
    m_pages2 = FindPageTreeRoot(*m_xref2);
    PlanMerges();
    // Copied objects and the merges' new objects; one free entry follows
    // when a reference names nothing (a number beyond its own table).
    m_dangling = m_plan->GetEndNumber();
    ResetXRefTable(static_cast<int32_t>(m_dangling));
    if (m_compact)
        m_fingerprints.assign(static_cast<size_t>(t1), fingerprint::Fingerprint{});

    std::string version = m_doc1.GetVersion();
    if (version < m_doc2.GetVersion())
        version = m_doc2.GetVersion();
    WriteHeader(version);

    CopyFirstDocument();
    if (m_compact)
        BuildDuplicateMap();
    CopySecondDocument();
    for (const auto& merge : m_merges)
        merge->Write(*this);
    FinishOutput();
    return true;
}

void CPdfFileAppend::OpenInputs()
{
    // The layers below know objects and offsets, not file names: the name
    // joins a failure here.
    try {
        m_doc1.Open(m_firstName);
    } catch (CPdfException& e) {
        e.InFile(m_firstName);
        throw;
    }
    m_xref1 = m_doc1.GetXRef();
    m_root1 = m_xref1->GetRootNum();
    m_info1 = m_xref1->GetInfoNum();
    m_entries1 = &m_xref1->GetEntries();
    try {
        m_doc2.Open(m_secondName);
    } catch (CPdfException& e) {
        e.InFile(m_secondName);
        throw;
    }
    m_xref2 = m_doc2.GetXRef();
    m_root2 = m_xref2->GetRootNum();
    m_info2 = m_xref2->GetInfoNum();
    m_entries2 = &m_xref2->GetEntries();

    auto openRaw = [](std::unique_ptr<FILE, FileCloser>& raw, const std::string& name) {
        raw.reset(std::fopen(name.c_str(), "rb"));
        if (!raw) {
            const int error = errno;
            throw CPdfException(msg::kFileOpenError).InFile(name).BecauseOf(error);
        }
    };
    openRaw(m_raw1, m_firstName);
    openRaw(m_raw2, m_secondName);
    // Written beside its final place and moved there at the end; in the
    // in-place form that place is the first input's.
    const std::string& target = m_outputName == kInPlaceName ? m_firstName : m_outputName;
    if (!m_outputFile.Create(target))
        throw CPdfException(msg::kFileOpenError).InFile(target).Because(m_outputFile.GetError());
    AttachOutput(m_outputFile.Get(), target);
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

void CPdfFileAppend::PlanMerges()
{
    std::vector<CPdfMergePart> parts(2);
    parts[0] = {m_xref1, m_reader1.get(), m_root1, m_xref1->GetRootGen(), m_pages1,
                m_doc1.GetCatalog()->GetPageCount(), 0, static_cast<int32_t>(m_entries1->size())};
    parts[1] = {m_xref2, m_reader2.get(), m_root2, m_xref2->GetRootGen(), m_pages2,
                m_doc2.GetCatalog()->GetPageCount(), m_objectOffset, static_cast<int32_t>(m_entries2->size())};
    const int64_t copied = static_cast<int64_t>(m_entries1->size()) + static_cast<int64_t>(m_entries2->size()) - 1;
    m_plan = std::make_unique<CPdfMergePlan>(std::move(parts), copied);
    // The output is not encrypted: an /Encrypt dictionary has nothing to
    // describe there.
    if (const int32_t encrypt = m_xref1->GetEncryptNum())
        m_plan->Drop(0, encrypt);
    if (const int32_t encrypt = m_xref2->GetEncryptNum())
        m_plan->Drop(1, encrypt);
    m_merges.push_back(std::make_unique<CPdfPageTreeMerge>());
    m_merges.push_back(std::make_unique<CPdfOutlineMerge>());
    m_merges.push_back(std::make_unique<CPdfDestinationMerge>());
    m_merges.push_back(std::make_unique<CPdfPageLabelMerge>());
    m_merges.push_back(std::make_unique<CPdfFormMerge>());
    m_merges.push_back(std::make_unique<CPdfLayerMerge>());
    for (const auto& merge : m_merges)
        merge->Plan(*m_plan);
}

void CPdfFileAppend::WriteRawObject(const CPdfRawObject& text)
{
    Write(text.GetHead(), text.GetHeadLength());
    WriteTail(text);
}

void CPdfFileAppend::WriteTail(const CPdfRawObject& text)
{
    int64_t position = text.GetTailPosition(), length = text.GetTailLength();
    if (const CPdfDecryptor* decryptor = text.GetTailDecryptor()) {
        CopyFromFile(text.GetTailFd(), position, text.GetTailDataLength(), *decryptor, text.GetTailPlainLength());
        position += text.GetTailDataLength();
        length -= text.GetTailDataLength();
    }
    CopyFromFile(text.GetTailFd(), position, length);
}

objecttext::Target CPdfFileAppend::MapReference(int64_t number) const
{
    // Object 0 is never an object: such a reference stays as it was rather
    // than naming one of the first document's objects.
    if (number <= 0)
        return {-1};
    // A number beyond the second table named nothing there and names
    // nothing here: the one free entry kept for that.
    if (number >= static_cast<int64_t>(m_entries2->size())) {
        m_danglingUsed = true;
        return {m_dangling, 0};
    }
    if (number < static_cast<int64_t>(m_duplicates.size())) {
        const CPdfDuplicateMatcher::Entry& d = m_duplicates[static_cast<size_t>(number)];
        // Shared: the first document's object, under its own generation.
        if (d.matched || d.target != number)
            return {d.target, m_outputTable[static_cast<size_t>(d.target)].generation};
    }
    return {number + m_objectOffset};
}

objecttext::Target CPdfFileAppend::MapReference(size_t part, int64_t number) const
{
    if (part > 0)
        return MapReference(number);
    if (number <= 0 || number >= static_cast<int64_t>(m_entries1->size())) {
        m_danglingUsed = true;
        return {m_dangling, 0};
    }
    return {number};
}

void CPdfFileAppend::WriteNewObject(int64_t number, const std::string& body)
{
    SetOutputEntry(static_cast<int32_t>(number), 0, GetOutputPosition(), 1);
    char digits[24];
    Write(digits, pdfformat::FormatNumber(number, digits));
    Write(" 0 obj\r");
    Write(body.data(), body.size());
    Write("\rendobj\r");
}

bool CPdfFileAppend::Rewrite(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t split,
                             std::string& out)
{
    // The transforms first (they leave the "stream" keyword where it is
    // relative to the end), then the object's own edits.
    std::string& transformed = m_transformed;
    const bool changed = m_plan->Transform(part, text, length, transformed);
    if (changed) {
        split = split + static_cast<uint32_t>(transformed.size()) - length;
        text = reinterpret_cast<const uint8_t*>(transformed.data());
        length = static_cast<uint32_t>(transformed.size());
    }
    if (m_plan->ApplyEdits(part, number, text, length, split, out))
        return true;
    if (changed)
        out.swap(transformed);
    return changed;
}

int32_t CPdfFileAppend::HeaderGeneration(const CPdfRawObject& text)
{
    return text.GetLayout().hasHeader ? text.GetLayout().generation : 0;
}

void CPdfFileAppend::CopyFirstDocument()
{
    const int32_t t1 = static_cast<int32_t>(m_entries1->size());
    for (int32_t i = 1; i < t1; ++i) {
        const XRefEntry& in = (*m_entries1)[static_cast<size_t>(i)];
        XRefEntry& out = m_outputTable[static_cast<size_t>(i)];
        // A free entry keeps its generation.
        out = {GetOutputPosition(), in.type == 0 ? in.generation : 0, 0};
        if (in.type == 0 || m_plan->IsDropped(0, i))
            continue;
        // An entry without text is left free rather than pointing at some
        // other object's bytes.
        if (!m_reader1->ReadRawObject(i, m_text, !m_compact) || m_text.IsEmpty() || IsObjectStream(m_text) ||
            IsEncryptedXRefStream(m_text, *m_xref1))
            continue;
        out.generation = HeaderGeneration(m_text);
        out.type = 1;
        m_rewritten.clear();
        if (Rewrite(0, i, m_text.GetHead(), m_text.GetHeadLength(), m_text.GetLayout().split, m_rewritten)) {
            // Rewritten here, so no equal object may be shared into it.
            Write(m_rewritten.data(), m_rewritten.size());
            WriteTail(m_text);
            continue;
        }
        WriteRawObject(m_text);
        // The fingerprint skips the header "i 0 obj" and one line-end byte.
        const uint32_t start = static_cast<uint32_t>(pdfformat::CountDigits(i)) + 7;
        if (m_compact && start < m_text.GetHeadLength())
            m_fingerprints[static_cast<size_t>(i)] = fingerprint::Compute(m_text.GetHead(), m_text.GetHeadLength(), start);
    }
    m_text.Release();
}

void CPdfFileAppend::BuildDuplicateMap()
{
    // The second root node's indirect /Count object is always written.
    CPdfObject root, count;
    m_plan->GetParts()[1].Fetch(m_pages2, root);
    if (root.GetKind() == OBJ_DICTIONARY)
        root.GetDictionary()->LookupRaw("Count", count);
    const int32_t countObject = count.GetKind() == OBJ_REFERENCE ? count.GetRefNum() : 0;
    // Objects the merges rewrite or keep their own are never shared.
    std::string ignored;
    const CPdfDuplicateMatcher::Filter mayShare = [&](int32_t number, const std::string& text) {
        return !m_plan->IsKeptOwn(1, number) && !m_plan->HasEdits(1, number) &&
               !m_plan->Transform(1, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                                  ignored);
    };
    CPdfDuplicateMatcher matcher(*m_reader1, *m_reader2, m_entries2->size(), m_fingerprints);
    matcher.Build(*m_entries2, m_pages2, countObject, mayShare);
    m_duplicates = matcher.GetMap();
    m_fingerprints = std::vector<fingerprint::Fingerprint>();
}

void CPdfFileAppend::CopySecondDocument()
{
    const int32_t t2 = static_cast<int32_t>(m_entries2->size());
    for (int32_t i = 1; i < t2; ++i) {
        const int32_t k = i + m_objectOffset;
        const XRefEntry& in = (*m_entries2)[static_cast<size_t>(i)];
        XRefEntry& out = m_outputTable[static_cast<size_t>(k)];
        out = {GetOutputPosition(), in.type == 0 ? in.generation : 0, 0};
        const bool shared = m_compact && m_duplicates[static_cast<size_t>(i)].matched;
        if (in.type == 0 || i == m_root2 || i == m_info2 || shared || m_plan->IsDropped(1, i))
            continue;
        if (!m_reader2->ReadRawObject(i, m_text, true) || m_text.IsEmpty() || IsObjectStream(m_text) ||
            IsEncryptedXRefStream(m_text, *m_xref2))
            continue;
        out.generation = HeaderGeneration(m_text);
        out.type = 1;
        const objecttext::Layout& layout = m_text.GetLayout();
        objecttext::Renumber(m_text.GetHead(), m_text.GetHeadLength(), layout, static_cast<int64_t>(k),
                             [this](int64_t m) { return MapReference(m); }, m_rewritten);
        // Everything after the "stream" keyword is copied as it was, so the
        // keyword moves by what renumbering added or took.
        const uint32_t split = layout.split + static_cast<uint32_t>(m_rewritten.size()) - m_text.GetHeadLength();
        if (Rewrite(1, i, reinterpret_cast<const uint8_t*>(m_rewritten.data()), static_cast<uint32_t>(m_rewritten.size()),
                    split, m_edited))
            m_rewritten.swap(m_edited);
        Write(m_rewritten.data(), m_rewritten.size());
        WriteTail(m_text);
    }
    m_text.Release();
}

void CPdfFileAppend::FinishOutput()
{
    m_merges.clear();
    m_plan.reset();
    if (m_danglingUsed)
        m_outputTable.push_back({0, 0, 0});
    const int64_t startXRef = GetOutputPosition();
    WriteXRefTable();
    WriteTrailer(startXRef, m_xref1->GetTrailer());
    const bool rebuilt1 = m_doc1.WasRebuilt();
    const bool rebuilt2 = m_doc2.WasRebuilt();
    m_reader1.reset();
    m_reader2.reset();
    m_raw1.reset();
    m_raw2.reset();
    m_doc1.Close();
    m_doc2.Close();
    m_xref1 = m_xref2 = nullptr;
    m_entries1 = m_entries2 = nullptr;
    if (m_outputName == kInPlaceName) {
        ReplaceFirstInput();
    } else if (!m_outputFile.Commit()) {
        throw CPdfException(msg::kWriteError).InFile(m_outputName).Because(m_outputFile.GetError());
    }
    // The result is good, but an input was damaged: its owner should know.
    if (rebuilt1)
        diagnostics::Warn(m_firstName, msg::kXRefRebuilt);
    if (rebuilt2)
        diagnostics::Warn(m_secondName, msg::kXRefRebuilt);
}

void CPdfFileAppend::ReplaceFirstInput()
{
    if (!m_outputFile.Close())
        throw CPdfException(msg::kWriteError).InFile(m_firstName).Because(m_outputFile.GetError());
    // The result sits beside the first input, so one rename replaces it.
    if (m_outputFile.Commit())
        return;
    // A complete result the rename could not place: kept under a name a
    // person can find, never over an existing file.
    const std::string reason = m_outputFile.GetError();
    const std::string left = m_outputFile.SetAside(kInPlaceName);
    const std::string context = reason + "; the result is in " + left;
    if (left == CPdfOutputFile::NameBeside(m_outputFile.GetTarget(), kInPlaceName))
        throw CPdfException(msg::kCantReplaceInput).InFile(m_firstName).Because(context);
    std::string text(std::strlen(msg::kResultSetAside) + left.size(), '\0');
    text.resize(static_cast<size_t>(std::snprintf(text.data(), text.size() + 1, msg::kResultSetAside, left.c_str())));
    throw CPdfException(text).InFile(m_firstName).Because(context);
}
