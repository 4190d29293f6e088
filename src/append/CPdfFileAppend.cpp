#include "append/CPdfFileAppend.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "merge/CPdfAttachmentMerge.h"
#include "merge/CPdfDestinationMerge.h"
#include "merge/CPdfFormMerge.h"
#include "merge/CPdfLayerMerge.h"
#include "merge/CPdfNameDictionaryMerge.h"
#include "merge/CPdfOutlineMerge.h"
#include "merge/CPdfPageLabelMerge.h"
#include "merge/CPdfPageTreeMerge.h"
#include "text/CPdfTextEdit.h"
#include "base/PdfByteSearch.h"
#include "text/PdfObjectText.h"
#include "document/CPdfCatalog.h"
#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfDiagnostics.h"
#include "object/CPdfDictionary.h"
#include "base/PdfFileFormat.h"

namespace {

// True when the name ends in ".pdf", in any case.
bool EndsWithPdf(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".pdf";
}

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
    // After the program's name: one to three arguments as always (in1 in2
    // [output | /s]); four are in1 in2 output with the compact switch, as
    // always, unless the fourth ends in ".pdf": three inputs and an output;
    // five or more are inputs, the output and an optional last "/s".
    m_inputNames.clear();
    m_outputName.clear();
    const int n = argc - 1;
    std::vector<std::string> args(argv + 1, argv + (n > 0 ? argc : 1));
    const char* problem = nullptr;
    if (n == 2 || n == 3) {
        m_inputNames = {args[0], args[1]};
        if (n == 3 && args[2] == "/s")
            m_compact = true;
        else if (n == 3)
            m_outputName = args[2];
    } else if (n == 4 && !EndsWithPdf(args[3])) {
        // Any fourth argument turns the compact switch on.
        m_inputNames = {args[0], args[1]};
        m_outputName = args[2];
        m_compact = true;
    } else if (n >= 4) {
        if (args.back() == "/s" && n >= 5) {
            m_compact = true;
            args.pop_back();
        }
        m_outputName = args.back();
        args.pop_back();
        m_inputNames = args;
        for (const std::string& name : args)
            if (name == "/s")
                problem = msg::kSwitchNotLast;
        if (m_outputName.empty() || m_outputName == "/s")
            problem = m_outputName.empty() ? msg::kEmptyOutputName : msg::kSwitchNotLast;
    } else {
        problem = msg::kMissingSecondInput;
    }
    for (const std::string& name : m_inputNames)
        if (name.empty())
            problem = msg::kEmptyInputName;
    if (problem != nullptr) {
        m_inputNames.clear();
        throw CPdfException(msg::kWrongParameters).Because(std::string(problem) + msg::kSeeHelp);
    }
    // An empty output name in the three-argument form, as ever, is the
    // in-place form.
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
    for (const std::string& input : m_inputNames)
        if (SameFile(m_outputName, input))
            throw CPdfException(msg::kOutputEqualsInput).InFile(m_outputName).Because(msg::kIsAnInput);
}

bool CPdfFileAppend::Run()
{
    CheckOutputName();
    OpenInputs();
    PlanMerges();
    // Copied objects and the merges' new objects; one free entry follows
    // when a reference names nothing (a number beyond its own table).
    m_dangling = m_plan->GetEndNumber();
    ResetXRefTable(static_cast<int32_t>(m_dangling));

    std::string version;
    for (const auto& input : m_inputs)
        version = std::max(version, input->doc.GetVersion());
    WriteHeader(version);

    for (size_t k = 0; k < m_inputs.size(); ++k) {
        CopyInput(k);
        // Later inputs read this one's objects again only to confirm a
        // shared object (/s): its cache goes back to the heap for theirs.
        m_inputs[k]->reader->Release();
        m_inputs[k]->doc.ReleaseCache();
    }
    for (const auto& merge : m_merges)
        merge->Write(*this);
    FinishOutput();
    return true;
}

void CPdfFileAppend::OpenInputs()
{
    // Two handles an input, all open at once.
    const rlim_t wanted = static_cast<rlim_t>(m_inputNames.size()) * 2 + 32;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    int64_t offset = 0;
    for (const std::string& name : m_inputNames) {
        auto input = std::make_unique<Input>();
        input->name = name;
        input->offset = offset;
        OpenInput(*input);
        offset += static_cast<int64_t>(input->entries->size()) - 1;
        m_inputs.push_back(std::move(input));
    }
    // The output table is numbered in 32 bits, with room for the merges.
    if (offset > INT32_MAX / 2)
        throw CPdfException(msg::kXRefTooLarge).Because(msg::kTooManyObjects);
    // Written beside its final place and moved there at the end; in the
    // in-place form that place is the first input's.
    const std::string& target = m_outputName == kInPlaceName ? m_inputNames[0] : m_outputName;
    if (!m_outputFile.Create(target))
        throw CPdfException(msg::kFileOpenError).InFile(target).Because(m_outputFile.GetError());
    AttachOutput(m_outputFile.Get(), target);
}

void CPdfFileAppend::OpenInput(Input& input)
{
    // The layers below know objects and offsets, not file names: the name
    // joins a failure here.
    try {
        input.doc.Open(input.name);
        input.xref = input.doc.GetXRef();
        input.root = input.xref->GetRootNum();
        input.info = input.xref->GetInfoNum();
        input.entries = &input.xref->GetEntries();
        input.pages = FindPageTreeRoot(*input.xref);
        // The next input's opening takes the memory; what the merges read
        // later is read again.
        input.doc.ReleaseCache();
    } catch (CPdfException& e) {
        e.InFile(input.name);
        throw;
    }
    input.raw.reset(std::fopen(input.name.c_str(), "rb"));
    if (!input.raw) {
        const int error = errno;
        throw CPdfException(msg::kFileOpenError).InFile(input.name).BecauseOf(error);
    }
    input.reader = std::make_unique<CPdfRawReader>(fileno(input.raw.get()), *input.xref);
}

int32_t CPdfFileAppend::FindPageTreeRoot(CPdfXRef& xref)
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
    std::vector<CPdfMergePart> parts;
    for (const auto& input : m_inputs)
        parts.push_back({input->xref, input->reader.get(), input->root, input->xref->GetRootGen(), input->pages,
                         input->doc.GetCatalog()->GetPageCount(), input->offset,
                         static_cast<int32_t>(input->entries->size())});
    const Input& last = *m_inputs.back();
    m_plan = std::make_unique<CPdfMergePlan>(std::move(parts),
                                             last.offset + static_cast<int64_t>(last.entries->size()));
    for (size_t k = 0; k < m_inputs.size(); ++k) {
        const Input& input = *m_inputs[k];
        // The output is not encrypted: an /Encrypt dictionary has nothing to
        // describe there. Later inputs' catalogs and document information
        // give way to the first's.
        if (const int32_t encrypt = input.xref->GetEncryptNum())
            m_plan->Drop(k, encrypt);
        if (k > 0) {
            m_plan->Drop(k, input.root);
            m_plan->Drop(k, input.info);
        }
    }
    // The trees the merges join hang from one /Names dictionary, edited
    // once after they are planned.
    auto nameDictionary = std::make_unique<CPdfNameDictionaryMerge>();
    m_merges.push_back(std::make_unique<CPdfPageTreeMerge>());
    m_merges.push_back(std::make_unique<CPdfOutlineMerge>());
    m_merges.push_back(std::make_unique<CPdfDestinationMerge>(*nameDictionary));
    m_merges.push_back(std::make_unique<CPdfAttachmentMerge>(*nameDictionary));
    m_merges.push_back(std::make_unique<CPdfPageLabelMerge>());
    m_merges.push_back(std::make_unique<CPdfFormMerge>());
    m_merges.push_back(std::make_unique<CPdfLayerMerge>());
    m_merges.push_back(std::move(nameDictionary));
    for (const auto& merge : m_merges)
        merge->Plan(*m_plan);
}

void CPdfFileAppend::WriteRawObject(const CPdfRawObject& text)
{
    // The file's own bytes go file to file: a run of objects that follow
    // each other there goes out in one copy.
    if (text.GetSourcePosition() >= 0) {
        CopyFromFile(text.GetSourceFd(), text.GetSourcePosition(), static_cast<int64_t>(text.GetLength()));
        return;
    }
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

objecttext::Target CPdfFileAppend::MapReference(size_t part, int64_t number) const
{
    const Input& input = *m_inputs[part];
    // Object 0 is never an object: such a reference stays as it was rather
    // than naming one of the first document's objects.
    if (number <= 0 && part > 0)
        return {-1};
    // A number beyond its own table named nothing there and names nothing
    // here: the one free entry kept for that.
    if (number <= 0 || number >= static_cast<int64_t>(input.entries->size())) {
        m_danglingUsed = true;
        return {m_dangling, 0};
    }
    if (number < static_cast<int64_t>(input.duplicates.size())) {
        const CPdfDuplicateMatcher::Entry& d = input.duplicates[static_cast<size_t>(number)];
        // Shared: the earlier object, under its own generation.
        if (d.matched || d.target != number || d.part != static_cast<int32_t>(part)) {
            const int64_t target = m_inputs[static_cast<size_t>(d.part)]->offset + d.target;
            return {target, m_outputTable[static_cast<size_t>(target)].generation};
        }
    }
    return {number + input.offset};
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

void CPdfFileAppend::CopyInput(size_t k)
{
    // Failures while copying belong to this input.
    try {
        if (m_compact && k > 0)
            BuildDuplicateMap(k);
        // Room for its objects at once: growing the index by doubling would
        // hold up to three times its size at a time.
        if (IsIndexed(k))
            m_fingerprints.Reserve(m_inputs[k]->entries->size());
        CopyObjects(k);
    } catch (CPdfException& e) {
        e.InFile(m_inputs[k]->name);
        throw;
    }
    if (IsIndexed(k))
        m_fingerprints.Commit();
}

bool CPdfFileAppend::IsIndexed(size_t k) const
{
    return m_compact && k + 1 < m_inputs.size();
}

void CPdfFileAppend::BuildDuplicateMap(size_t k)
{
    Input& input = *m_inputs[k];
    // The root page-tree node's indirect /Count object is always written.
    CPdfObject root, count;
    m_plan->GetParts()[k].Fetch(input.pages, root);
    if (root.GetKind() == OBJ_DICTIONARY)
        root.GetDictionary()->LookupRaw("Count", count);
    const int32_t countObject = count.GetKind() == OBJ_REFERENCE ? count.GetRefNum() : 0;
    // Objects the merges rewrite or keep their own are never shared.
    std::string ignored;
    const CPdfDuplicateMatcher::Filter mayShare = [&](int32_t number, const std::string& text) {
        return !m_plan->IsKeptOwn(k, number) && !m_plan->HasEdits(k, number) &&
               !m_plan->Transform(k, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                                  ignored);
    };
    std::vector<CPdfRawReader*> earlier;
    for (size_t j = 0; j < k; ++j)
        earlier.push_back(m_inputs[j]->reader.get());
    CPdfDuplicateMatcher matcher(earlier, m_fingerprints, *input.reader, static_cast<int32_t>(k),
                                 input.entries->size());
    matcher.Build(*input.entries, input.pages, countObject, mayShare);
    input.duplicates = matcher.GetMap();
}

void CPdfFileAppend::CopyObjects(size_t k)
{
    Input& input = *m_inputs[k];
    const int32_t size = static_cast<int32_t>(input.entries->size());
    const auto map = [this, k](int64_t m) { return MapReference(k, m); };
    for (int32_t i = 1; i < size; ++i) {
        const int64_t number = input.offset + i;
        const XRefEntry& in = (*input.entries)[static_cast<size_t>(i)];
        XRefEntry& out = m_outputTable[static_cast<size_t>(number)];
        // A free entry keeps its generation.
        out = {GetOutputPosition(), in.type == 0 ? in.generation : 0, 0};
        const bool shared = !input.duplicates.empty() && input.duplicates[static_cast<size_t>(i)].matched;
        if (in.type == 0 || shared || m_plan->IsDropped(k, i))
            continue;
        // An entry without text is left free rather than pointing at some
        // other object's bytes. With /s, objects that a later input's may
        // stand for are read whole for their fingerprints.
        if (!input.reader->ReadRawObject(i, m_text, !IsIndexed(k)) || m_text.IsEmpty() || IsObjectStream(m_text) ||
            IsEncryptedXRefStream(m_text, *input.xref))
            continue;
        out.generation = HeaderGeneration(m_text);
        out.type = 1;
        const objecttext::Layout& layout = m_text.GetLayout();
        const uint8_t* text = m_text.GetHead();
        uint32_t length = m_text.GetHeadLength();
        uint32_t split = layout.split;
        if (k > 0) {
            objecttext::Renumber(text, length, layout, number, map, m_rewritten);
            // Everything after the "stream" keyword is copied as it was, so
            // the keyword moves by what renumbering added or took.
            split = split + static_cast<uint32_t>(m_rewritten.size()) - length;
            text = reinterpret_cast<const uint8_t*>(m_rewritten.data());
            length = static_cast<uint32_t>(m_rewritten.size());
        }
        if (Rewrite(k, i, text, length, split, m_edited)) {
            // Rewritten here, so no equal object may be shared into it.
            Write(m_edited.data(), m_edited.size());
            WriteTail(m_text);
            continue;
        }
        if (k == 0) {
            WriteRawObject(m_text);
        } else {
            Write(text, length);
            WriteTail(m_text);
        }
        // The fingerprint of its text as read, skipping the header "i 0 obj"
        // and one line-end byte.
        const uint32_t start = static_cast<uint32_t>(pdfformat::CountDigits(i)) + 7;
        if (IsIndexed(k) && start < m_text.GetHeadLength())
            m_fingerprints.Add(static_cast<int32_t>(k), i,
                               fingerprint::Compute(m_text.GetHead(), m_text.GetHeadLength(), start));
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
    WriteTrailer(startXRef, m_inputs[0]->xref->GetTrailer());
    std::vector<std::string> rebuilt;
    for (const auto& input : m_inputs)
        if (input->doc.WasRebuilt())
            rebuilt.push_back(input->name);
    m_inputs.clear();
    if (m_outputName == kInPlaceName) {
        ReplaceFirstInput();
    } else if (!m_outputFile.Commit()) {
        throw CPdfException(msg::kWriteError).InFile(m_outputName).Because(m_outputFile.GetError());
    }
    // The result is good, but an input was damaged: its owner should know.
    for (const std::string& name : rebuilt)
        diagnostics::Warn(name, msg::kXRefRebuilt);
}

void CPdfFileAppend::ReplaceFirstInput()
{
    if (!m_outputFile.Close())
        throw CPdfException(msg::kWriteError).InFile(m_inputNames[0]).Because(m_outputFile.GetError());
    // The result sits beside the first input, so one rename replaces it.
    if (m_outputFile.Commit())
        return;
    // A complete result the rename could not place: kept under a name a
    // person can find, never over an existing file.
    const std::string reason = m_outputFile.GetError();
    const std::string left = m_outputFile.SetAside(kInPlaceName);
    const std::string context = reason + "; the result is in " + left;
    if (left == CPdfOutputFile::NameBeside(m_outputFile.GetTarget(), kInPlaceName))
        throw CPdfException(msg::kCantReplaceInput).InFile(m_inputNames[0]).Because(context);
    std::string text(std::strlen(msg::kResultSetAside) + left.size(), '\0');
    text.resize(static_cast<size_t>(std::snprintf(text.data(), text.size() + 1, msg::kResultSetAside, left.c_str())));
    throw CPdfException(text).InFile(m_inputNames[0]).Because(context);
}
