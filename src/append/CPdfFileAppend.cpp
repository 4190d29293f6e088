#include "append/CPdfFileAppend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <nettle/md5.h>
#include <chrono>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "merge/CPdfAttachmentMerge.h"
#include "merge/CPdfDestinationMerge.h"
#include "merge/CPdfFormMerge.h"
#include "merge/CPdfLayerMerge.h"
#include "merge/CPdfNameDictionaryMerge.h"
#include "merge/CPdfOutlineMerge.h"
#include "merge/CPdfPageLabelMerge.h"
#include "merge/CPdfPageTreeMerge.h"
#include "merge/CPdfStructureMerge.h"
#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfByteSearch.h"
#include "base/PdfDiagnostics.h"
#include "base/PdfFileFormat.h"
#include "copy/PdfFingerprint.h"
#include "document/CPdfCatalog.h"
#include "merge/CPdfMergeOutput.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"
#include "reader/CPdfSecurityHandler.h"
#include "reader/CPdfXRef.h"
#include "text/CPdfTextEdit.h"
#include "text/PdfTextString.h"
#include "object/CPdfString.h"
#include "object/CPdfStream.h"
#include "text/PdfObjectText.h"

namespace {

constexpr const char* kInPlaceName = CPdfArguments::kInPlaceName;
// How write failures name the output "-".
constexpr const char* kStandardOutput = "standard output";

// Same path, or the same existing file reached another way; existing: the
// status of a, when a exists.
bool SameFile(const std::string& a, const struct stat* existing, const std::string& b)
{
    if (a == b)
        return true;
    struct stat sb;
    return existing && stat(b.c_str(), &sb) == 0 && existing->st_dev == sb.st_dev && existing->st_ino == sb.st_ino;
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

// Whether the text that is copied for an object of the page tree reads as
// the checks read it: the object and nothing after it up to "endobj", of
// the shape its role needs. A damaged file may be read one way through the
// table the checks used and another way from the bytes the copy takes.
// sameTable: the table is the one the checks used, so a whole value ended
// by its "endobj" is the very bytes they parsed, and is not parsed again.
bool ReadsAs(const CPdfRawObject& text, CPdfXRef& xref, CPdfCatalog::ETreeRole role, bool sameTable)
{
    const objecttext::Layout& layout = text.GetLayout();
    if (layout.isStream || layout.unbalanced)
        return false;
    if (sameTable && layout.endobj >= 0)
        return true;
    try {
        CPdfParser parser(&xref, new CPdfMemoryStream(text.GetHead(), text.GetHeadLength()));
        CPdfObject number, generation, keyword, value, end;
        parser.ParseObject(number);
        parser.ParseObject(generation);
        parser.ParseObject(keyword);
        parser.ParseObject(value);
        parser.ParseObject(end);
        return keyword.IsKeyword("obj") && end.IsKeyword("endobj") && CPdfCatalog::HasShape(value, role);
    } catch (const CPdfException&) {
        return false;
    }
}

// Whether the document's form has a signature field that is signed (a /Sig
// field with a value): its signature covers the file's bytes as they are.
bool HasSignedField(CPdfXRef& xref, const CPdfObject& catalog)
{
    CPdfObject form, fields;
    if (catalog.GetKind() != OBJ_DICTIONARY)
        return false;
    try {
        catalog.GetDictionary()->Lookup("AcroForm", form);
        if (form.GetKind() != OBJ_DICTIONARY)
            return false;
        form.GetDictionary()->Lookup("Fields", fields);
        std::vector<CPdfObject> todo;
        const auto push = [&](const CPdfObject& list) {
            if (list.GetKind() != OBJ_ARRAY)
                return;
            for (int32_t i = 0; i < list.GetArray()->GetSize(); ++i) {
                CPdfObject item;
                list.GetArray()->GetRaw(i, item);
                todo.push_back(std::move(item));
            }
        };
        push(fields);
        // Fields seen, so a tree that loops ends; and a bound on the walk.
        std::vector<int32_t> seen;
        for (size_t walked = 0; !todo.empty() && walked < 100000; ++walked) {
            CPdfObject field = std::move(todo.back());
            todo.pop_back();
            if (field.GetKind() == OBJ_REFERENCE) {
                const int32_t number = field.GetRefNum();
                if (std::find(seen.begin(), seen.end(), number) != seen.end())
                    continue;
                seen.push_back(number);
                xref.FetchObject(number, field.GetRefGen(), field);
            }
            if (field.GetKind() != OBJ_DICTIONARY)
                continue;
            CPdfObject type, value, kids;
            field.GetDictionary()->Lookup("FT", type);
            field.GetDictionary()->LookupRaw("V", value);
            if (type.GetKind() == OBJ_NAME && std::strcmp(type.GetText(), "Sig") == 0 && value.GetKind() != OBJ_NULL)
                return true;
            field.GetDictionary()->Lookup("Kids", kids);
            push(kids);
        }
    } catch (const CPdfException&) {
        // A form that cannot be read signs nothing a reader could check.
    }
    return false;
}

// The object numbers of a table in the order their objects lie in the file
// (members of object streams and free entries after them, by number): read
// and copied in that order, neighbours in the file are neighbours in the
// output, so the reads go front to back and the copies join into runs.
std::vector<int32_t> FileOrder(const std::vector<XRefEntry>& entries)
{
    std::vector<int32_t> order;
    order.reserve(entries.size());
    for (size_t i = 1; i < entries.size(); ++i)
        order.push_back(static_cast<int32_t>(i));
    const auto place = [&](int32_t n) {
        const XRefEntry& e = entries[static_cast<size_t>(n)];
        return std::make_pair(e.type == 1 ? e.offset : INT64_MAX, n);
    };
    const auto before = [&](int32_t a, int32_t b) { return place(a) < place(b); };
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::sort(order.begin(), order.end(), before);
    return order;
}

// A person's name for an input: its file name without the directory and a
// ".pdf" ending, as a text string.
std::string FileTitle(const std::string& path)
{
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (name.size() > 4) {
        std::string tail = name.substr(name.size() - 4);
        for (char& c : tail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (tail == ".pdf")
            name.resize(name.size() - 4);
    }
    return textstring::FromUtf8(name);
}

// The text of the first rdf:li of dc:title in XMP packet text, its
// character references resolved; empty when there is none.
std::string XmpTitle(const std::string& xmp)
{
    const size_t title = xmp.find("<dc:title");
    const size_t li = title == std::string::npos ? title : xmp.find("<rdf:li", title);
    const size_t start = li == std::string::npos ? li : xmp.find('>', li);
    const size_t end = start == std::string::npos ? start : xmp.find('<', start);
    if (end == std::string::npos)
        return std::string();
    const std::string raw = xmp.substr(start + 1, end - start - 1);
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        const size_t semi = raw[i] == '&' ? raw.find(';', i) : std::string::npos;
        if (semi == std::string::npos || semi - i > 10) {
            text.push_back(raw[i]);
            continue;
        }
        const std::string entity = raw.substr(i + 1, semi - i - 1);
        static const std::pair<const char*, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [name, c] : kNamed)
            if (entity == name) {
                text.push_back(c);
                done = true;
            }
        if (!done && entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const uint32_t code = static_cast<uint32_t>(std::strtoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
            if (code > 0 && code < 0x110000)
                textstring::AppendUtf8(text, code);
            done = true;
        }
        if (!done) {
            text.push_back(raw[i]);
            continue;
        }
        i = semi;
    }
    return text;
}

CPdfException PageTreeDamaged(int32_t number)
{
    return CPdfException(msg::kDamaged)
        .Because("object " + std::to_string(number) + " of the page tree cannot be copied as it was read");
}

}  // namespace

CPdfFileAppend::CPdfFileAppend() = default;

CPdfFileAppend::~CPdfFileAppend() = default;

bool CPdfFileAppend::ParseArguments(int argc, char** argv)
{
    m_arguments = CPdfArguments::Parse(argc, argv);
    return true;
}

void CPdfFileAppend::CheckOutputName() const
{
    // Writing the output would destroy an input of the same name. The
    // in-place form writes no file of the name "temp.tmp".
    if (m_arguments.IsInPlace() || m_arguments.IsStandardOutput())
        return;
    const std::string& output = m_arguments.GetOutputName();
    struct stat status;
    const struct stat* existing = stat(output.c_str(), &status) == 0 ? &status : nullptr;
    for (const std::string& input : m_arguments.GetInputNames())
        if (SameFile(output, existing, input))
            throw CPdfException(msg::kOutputEqualsInput).InFile(output).Because(msg::kIsAnInput);
}

bool CPdfFileAppend::Run()
{
    CheckOutputName();
    OpenInputs();
    PlanMerges();
    // What planning read of each input is read again when needed.
    for (const auto& input : m_inputs)
        input->doc.ReleaseCache();
    // Copied objects and the merges' new objects; one free entry follows
    // when a reference names nothing (a number beyond its own table).
    m_numbering.PlaceDangling();
    m_writer.ResetXRefTable(static_cast<int32_t>(m_numbering.GetDanglingNumber()));

    if (!m_arguments.IsIncremental()) {
        std::string version;
        for (const auto& input : m_inputs)
            version = std::max(version, input->doc.GetVersion());
        m_writer.WriteHeader(version);
    }

    for (size_t k = 0; k < m_inputs.size(); ++k) {
        CopyInput(k);
        // Later inputs read this one's objects again only to confirm a
        // shared object (/s): its cache goes back to the heap for theirs.
        m_inputs[k]->reader->Release();
        m_inputs[k]->doc.ReleaseCache();
    }
    CPdfMergeOutput output(m_numbering, m_writer);
    for (const auto& merge : m_merges)
        merge->Write(output);
    FinishOutput();
    return true;
}

void CPdfFileAppend::OpenInputs()
{
    const std::vector<std::string>& names = m_arguments.GetInputNames();
    m_files = std::make_unique<CPdfInputFilePool>(CPdfInputFilePool::ProcessLimit());
    for (const std::string& name : names) {
        auto input = std::make_unique<Input>();
        input->name = name;
        OpenInput(*input);
        m_numbering.AddInput(*input->entries);
        m_inputs.push_back(std::move(input));
    }
    // The output table is numbered in 32 bits, with room for the merges.
    if (m_numbering.GetEndNumber() - 1 > INT32_MAX / 2)
        throw CPdfException(msg::kXRefTooLarge).Because(msg::kTooManyObjects);
    // Written beside its final place and moved there at the end; in the
    // in-place form that place is the first input's.
    const std::string& target = m_arguments.IsInPlace() ? names[0] : m_arguments.GetOutputName();
    if (m_arguments.IsIncremental()) {
        OpenUpdate(target);
        return;
    }
    OpenOutput(target);
}

void CPdfFileAppend::OpenOutput(const std::string& target)
{
    // Standard output is written as it is: nothing to create or rename.
    if (m_arguments.IsStandardOutput()) {
        m_writer.AttachOutput(stdout, kStandardOutput);
        return;
    }
    if (!m_outputFile.Create(target))
        throw CPdfException(msg::kFileOpenError).InFile(target).Because(m_outputFile.GetError());
    m_writer.AttachOutput(m_outputFile.Get(), target);
}

bool CPdfFileAppend::CommitOutput()
{
    return m_arguments.IsStandardOutput() || m_outputFile.Commit();
}

void CPdfFileAppend::OpenUpdate(const std::string& target)
{
    Input& first = *m_inputs[0];
    // The update points back at the file's own chain of sections: it must
    // be the chain every reader follows.
    if (first.doc.WasRebuilt())
        throw CPdfException(msg::kDamaged).InFile(first.name).Because(msg::kUpdateNeedsChain);
    // What the update adds to an encrypted file is encrypted with the
    // file's own key, so that it opens as it did.
    if (const CPdfSecurityHandler* security = first.xref->GetSecurityHandler()) {
        m_encryption = std::make_unique<CPdfTextEncryption>(*security);
        const CPdfTextEncryption* encryption = m_encryption.get();
        m_writer.SetBodyFilter([encryption](int64_t number, std::string& body) { encryption->Encrypt(number, 0, body); });
    }
    CPdfInputFile& file = *first.doc.GetFile();
    const int64_t length = file.GetSize();
    struct stat st;
    // The update's size: the later inputs, and the objects of the first
    // that the merges write again.
    int64_t later = 0;
    for (size_t k = 1; k < m_inputs.size(); ++k)
        if (stat(m_inputs[k]->name.c_str(), &st) == 0)
            later += st.st_size;
    const int64_t room = later + later / 8 + (int64_t(1) << 20);
    if (m_arguments.IsInPlace()) {
        if (!m_updateFile.Open(target))
            throw CPdfException(msg::kFileOpenError).InFile(target).Because(m_updateFile.GetError());
        if (!m_updateFile.CheckRoom(room))
            throw CPdfException(msg::kWriteError).InFile(target).Because(m_updateFile.GetError());
        m_writer.AttachOutput(m_updateFile.Get(), target, m_updateFile.GetOriginalLength());
    } else {
        OpenOutput(target);
        // The first input's bytes as they are, copied file to file.
        m_writer.CopyFromFile(file, 0, length);
    }
    // The update starts on a line of its own.
    uint8_t last = '\n';
    if (length > 0 && pdfformat::ReadAt(file.Descriptor(), length - 1, &last, 1) == 1 && last != '\n' && last != '\r')
        m_writer.Write("\n");
}

void CPdfFileAppend::OpenInput(Input& input)
{
    // The layers below know objects and offsets, not file names: the name
    // joins a failure here.
    try {
        input.doc.Open(input.name, m_files.get());
        // The first input is read to the end of the job, and an update in
        // place changes its length: it keeps its descriptor.
        if (m_inputs.empty())
            input.doc.GetFile()->Pin();
        input.xref = input.doc.GetXRef();
        input.entries = &input.xref->GetEntries();
        // Hanging one tree under the other needs both roots as objects of
        // their own; a page tree written into the catalog itself has no
        // number.
        const int32_t pages = CPdfMergePart::ReferenceIn(input.doc.GetCatalog()->GetValue(), "Pages");
        if (pages <= 0 || static_cast<size_t>(pages) >= input.entries->size())
            throw CPdfException(msg::kPageTreeNotObject);
        input.pages = pages;
        input.checkedRebuilt = input.doc.WasRebuilt();
        // The next input's opening takes the memory; what the merges read
        // later is read again.
        input.doc.ReleaseCache();
    } catch (CPdfException& e) {
        e.InFile(input.name);
        throw;
    }
    input.reader = std::make_unique<CPdfRawReader>(*input.doc.GetFile(), *input.xref);
}

void CPdfFileAppend::PlanMerges()
{
    std::vector<CPdfMergePart> parts;
    for (const auto& input : m_inputs) {
        CPdfMergePart part;
        part.xref = input->xref;
        part.catalog = input->xref->GetRootNum();
        part.catalogValue = input->doc.GetCatalog()->GetValue();
        part.pageTree = input->pages;
        part.pageCount = input->doc.GetCatalog()->GetPageCount();
        parts.push_back(std::move(part));
    }
    m_plan = std::make_unique<CPdfMergePlan>(std::move(parts), m_numbering);
    for (size_t k = 0; k < m_inputs.size(); ++k) {
        const CPdfXRef& xref = *m_inputs[k]->xref;
        // The output is not encrypted: an /Encrypt dictionary has nothing to
        // describe there. Later inputs' catalogs and document information
        // give way to the first's.
        if (const int32_t encrypt = xref.GetEncryptNum())
            m_plan->Drop(k, encrypt);
        if (k > 0) {
            m_plan->Drop(k, xref.GetRootNum());
            m_plan->Drop(k, xref.GetInfoNum());
        }
    }
    // The trees the merges join hang from one /Names dictionary, edited
    // once after they are planned.
    auto nameDictionary = std::make_unique<CPdfNameDictionaryMerge>();
    m_merges.push_back(std::make_unique<CPdfPageTreeMerge>());
    m_merges.push_back(MakeOutlineMerge());
    m_merges.push_back(std::make_unique<CPdfDestinationMerge>(*nameDictionary));
    m_merges.push_back(std::make_unique<CPdfAttachmentMerge>(*nameDictionary));
    m_merges.push_back(std::make_unique<CPdfPageLabelMerge>());
    m_merges.push_back(std::make_unique<CPdfFormMerge>());
    m_merges.push_back(std::make_unique<CPdfLayerMerge>());
    auto structure = std::make_unique<CPdfStructureMerge>();
    CPdfStructureMerge& tags = *structure;
    m_merges.push_back(std::move(structure));
    m_merges.push_back(std::move(nameDictionary));
    for (const auto& merge : m_merges)
        merge->Plan(*m_plan);
    // An update keeps the first input's header: a later input of a newer
    // version raises the catalog's /Version instead.
    if (m_arguments.IsIncremental()) {
        std::string own = m_inputs[0]->doc.GetVersion(), later;
        for (size_t k = 1; k < m_inputs.size(); ++k)
            later = std::max(later, m_inputs[k]->doc.GetVersion());
        const CPdfObject& catalog = m_plan->GetParts()[0].catalogValue;
        CPdfObject stated;
        if (catalog.GetKind() == OBJ_DICTIONARY)
            catalog.GetDictionary()->LookupRaw("Version", stated);
        if (stated.GetKind() == OBJ_NAME)
            own = std::max(own, std::string("PDF-") + stated.GetText());
        if (later > own && later.compare(0, 4, "PDF-") == 0)
            m_plan->SetKey(0, m_inputs[0]->xref->GetRootNum(), "/Version", "/" + later.substr(4));
    }
    for (size_t k : tags.GetUntagged())
        m_untaggedNames.push_back(m_inputs[k]->name);
    // Signatures break where an input's bytes are written anew: every input
    // but the first of an update.
    for (size_t k = KeepsFirstInput(0) ? 1 : 0; k < m_inputs.size(); ++k)
        if (HasSignedField(*m_inputs[k]->xref, m_plan->GetParts()[k].catalogValue))
            m_signedNames.push_back({m_inputs[k]->name, k == 0});
}

std::unique_ptr<CPdfOutlineMerge> CPdfFileAppend::MakeOutlineMerge()
{
    using EBookmarks = CPdfArguments::EBookmarks;
    switch (m_arguments.GetBookmarks()) {
    case EBookmarks::kNone:
        return std::make_unique<CPdfOutlineMerge>(CPdfOutlineMerge::EMode::kNone, std::vector<std::string>());
    case EBookmarks::kPerInput:
    case EBookmarks::kPerInputTitles: {
        std::vector<std::string> titles;
        for (const auto& input : m_inputs) {
            std::string title;
            if (m_arguments.GetBookmarks() == EBookmarks::kPerInputTitles)
                title = DocumentTitle(*input);
            titles.push_back(title.empty() ? FileTitle(input->name) : title);
        }
        return std::make_unique<CPdfOutlineMerge>(CPdfOutlineMerge::EMode::kPerInput, std::move(titles));
    }
    default:
        return std::make_unique<CPdfOutlineMerge>();
    }
}

std::string CPdfFileAppend::DocumentTitle(Input& input)
{
    // The information dictionary's /Title, else the XMP metadata's dc:title;
    // a document that states neither, or that cannot be read there, has
    // none.
    try {
        CPdfXRef& xref = *input.xref;
        CPdfObject info, title;
        if (xref.GetInfoNum() > 0)
            xref.FetchObject(xref.GetInfoNum(), xref.GetInfoGen(), info);
        if (info.GetKind() == OBJ_DICTIONARY)
            info.GetDictionary()->Lookup("Title", title);
        if (title.GetKind() == OBJ_STRING && !textstring::ToUtf8(title.GetString()->GetValue()).empty())
            return title.GetString()->GetValue();
        CPdfObject metadata;
        const CPdfObject& catalog = input.doc.GetCatalog()->GetValue();
        if (catalog.GetKind() == OBJ_DICTIONARY)
            catalog.GetDictionary()->Lookup("Metadata", metadata);
        if (metadata.GetKind() != OBJ_STREAM)
            return std::string();
        CPdfStream* stream = metadata.GetStream();
        stream->Reset();
        std::string xmp;
        // Titles stand near the start of a packet; a bound keeps a huge
        // stream from being read whole.
        for (int c; xmp.size() < (size_t(1) << 22) && (c = stream->GetChar()) >= 0;)
            xmp.push_back(static_cast<char>(c));
        const std::string text = XmpTitle(xmp);
        return text.empty() ? std::string() : textstring::FromUtf8(text);
    } catch (const CPdfException&) {
        return std::string();
    }
}

void CPdfFileAppend::WriteRawObject(const CPdfRawObject& text)
{
    // The file's own bytes go file to file: a run of objects that follow
    // each other there goes out in one copy.
    if (text.GetSourcePosition() >= 0) {
        m_writer.CopyFromFile(*text.GetSourceFile(), text.GetSourcePosition(), static_cast<int64_t>(text.GetLength()));
        return;
    }
    m_writer.Write(text.GetHead(), text.GetHeadLength());
    WriteTail(text);
}

void CPdfFileAppend::WriteTail(const CPdfRawObject& text)
{
    if (!text.HasTail())
        return;
    int64_t position = text.GetTailPosition(), length = text.GetTailLength();
    if (const CPdfDecryptor* decryptor = text.GetTailDecryptor()) {
        m_writer.CopyFromFile(*text.GetTailFile(), position, text.GetTailDataLength(), *decryptor,
                              text.GetTailPlainLength());
        position += text.GetTailDataLength();
        length -= text.GetTailDataLength();
    }
    m_writer.CopyFromFile(*text.GetTailFile(), position, length);
}

void CPdfFileAppend::WriteObject(int64_t number, int32_t generation, const uint8_t* head, size_t length,
                                 const CPdfRawObject& raw)
{
    if (!m_encryption) {
        m_writer.Write(head, length);
        WriteTail(raw);
        return;
    }
    // Encrypted whole: the data of a stream changes length with AES.
    std::string text(reinterpret_cast<const char*>(head), length);
    if (raw.HasTail()) {
        std::string tail(static_cast<size_t>(raw.GetTailLength()), ' ');
        pdfformat::ReadAt(raw.GetTailFile()->Descriptor(), raw.GetTailPosition(),
                          reinterpret_cast<uint8_t*>(tail.data()), tail.size());
        if (const CPdfDecryptor* stored = raw.GetTailDecryptor()) {
            // The data as its own document stored it: decrypted to the
            // length its dictionary now states.
            CPdfDecryptor decryptor = *stored;
            const size_t data = static_cast<size_t>(raw.GetTailDataLength());
            std::vector<uint8_t> plain =
                decryptor.DecryptAll(reinterpret_cast<const uint8_t*>(tail.data()), std::min(data, tail.size()));
            plain.resize(static_cast<size_t>(raw.GetTailPlainLength()), ' ');
            text.append(reinterpret_cast<const char*>(plain.data()), plain.size());
            text.append(tail, std::min(data, tail.size()), std::string::npos);
        } else {
            text += tail;
        }
    }
    m_encryption->Encrypt(number, generation, text);
    m_writer.Write(text.data(), text.size());
}

bool CPdfFileAppend::Rewrite(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t split,
                             std::string& out)
{
    // The transforms first (they leave the "stream" keyword where it is
    // relative to the end), then the object's own edits.
    std::string& transformed = m_transformed;
    const bool changed = m_plan->Transform(part, number, text, length, transformed);
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

void CPdfFileAppend::CopyInput(size_t k)
{
    // Failures while copying belong to this input.
    try {
        if (m_arguments.IsCompact() && k > 0)
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
    return m_arguments.IsCompact() && k + 1 < m_inputs.size();
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
    const CPdfDuplicateMatcher::Filter mayShare = [&](int32_t number, std::string_view text) {
        return !m_plan->IsKeptOwn(k, number) && !m_plan->HasEdits(k, number) &&
               !m_plan->Transform(k, number, reinterpret_cast<const uint8_t*>(text.data()),
                                  static_cast<uint32_t>(text.size()), ignored);
    };
    std::vector<CPdfRawReader*> earlier;
    for (size_t j = 0; j < k; ++j)
        earlier.push_back(m_inputs[j]->reader.get());
    CPdfDuplicateMatcher matcher(earlier, m_fingerprints, *input.reader, static_cast<int32_t>(k),
                                 input.entries->size());
    matcher.Build(*input.entries, input.pages, countObject, mayShare);
    m_numbering.SetDuplicates(k, matcher.GetMap());
}

void CPdfFileAppend::CopyObjects(size_t k)
{
    Input& input = *m_inputs[k];
    const int32_t size = static_cast<int32_t>(input.entries->size());
    const auto map = [this, k](int64_t m) { return m_numbering.OutputTarget(k, m); };
    // What the checks relied on, by object number (a later input's catalog
    // gives way to the first's and is not copied).
    using ETreeRole = CPdfCatalog::ETreeRole;
    std::vector<ETreeRole> roles(static_cast<size_t>(size), ETreeRole::kNone);
    const bool keepFirst = KeepsFirstInput(k);
    const bool firstTransformed = m_plan->HasTransforms(k);
    for (const CPdfCatalog::TreeObject& object : input.doc.GetCatalog()->GetTreeObjects())
        if (object.number > 0 && object.number < size && (k == 0 || object.role != ETreeRole::kCatalog))
            roles[static_cast<size_t>(object.number)] = object.role;
    for (const int32_t i : FileOrder(*input.entries)) {
        const int64_t number = m_numbering.OutputNumber(k, i);
        const XRefEntry& in = (*input.entries)[static_cast<size_t>(i)];
        // Free until written; a free entry keeps its generation. An update
        // leaves the first input's entries as the file has them.
        const int64_t at = m_writer.GetOutputPosition();
        if (!keepFirst)
            m_writer.SetOutputEntry(static_cast<int32_t>(number), in.type == 0 ? in.generation : 0, at, 0);
        const ETreeRole role = roles[static_cast<size_t>(i)];
        // A tree object the document information or the encryption also
        // names would be lost with them.
        if (role != ETreeRole::kNone && m_plan->IsDropped(k, i))
            throw PageTreeDamaged(i);
        if (in.type == 0 || m_numbering.IsShared(k, i) || m_plan->IsDropped(k, i))
            continue;
        // An update reads only what it writes again, or fingerprints.
        if (keepFirst && !firstTransformed && !IsIndexed(k) && !m_plan->HasEdits(k, i))
            continue;
        // An entry without text is left free rather than pointing at some
        // other object's bytes.
        if (!input.reader->ReadRawObject(i, m_text, true) || m_text.IsEmpty() || IsObjectStream(m_text) ||
            IsEncryptedXRefStream(m_text, *input.xref)) {
            if (role != ETreeRole::kNone)
                throw PageTreeDamaged(i);
            continue;
        }
        if (role != ETreeRole::kNone &&
            !ReadsAs(m_text, *input.xref, role, input.xref->WasRebuilt() == input.checkedRebuilt))
            throw PageTreeDamaged(i);
        if (!keepFirst)
            m_writer.SetOutputEntry(static_cast<int32_t>(number), m_numbering.OutputGeneration(k, i), at, 1);
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
            // Rewritten here, so no equal object may be shared into it. In
            // an update, its new revision under the same number.
            if (keepFirst)
                m_writer.SetOutputEntry(static_cast<int32_t>(number), m_numbering.OutputGeneration(k, i), at, 1);
            WriteObject(number, m_numbering.OutputGeneration(k, i), reinterpret_cast<const uint8_t*>(m_edited.data()),
                        m_edited.size(), m_text);
            continue;
        }
        if (keepFirst) {
            // Stays where it is in the file.
        } else if (k == 0) {
            WriteRawObject(m_text);
        } else {
            WriteObject(number, m_numbering.OutputGeneration(k, i), text, length, m_text);
        }
        if (IsIndexed(k))
            IndexObject(k, i);
    }
    m_text.Release();
}

void CPdfFileAppend::IndexObject(size_t k, int32_t number)
{
    // The key of the text as read, after the header. Stream data that stays
    // in the file lends its first bytes; data still to be decrypted is
    // read whole, decrypted, as the later inputs' objects are.
    CPdfRawReader& reader = *m_inputs[k]->reader;
    const CPdfRawObject* text = &m_text;
    if (m_text.HasTail() && m_text.GetTailDecryptor() != nullptr) {
        if (!reader.ReadRawObject(number, m_whole, false))
            return;
        text = &m_whole;
    }
    const uint32_t start = fingerprint::TextStart(text->GetHead(), text->GetHeadLength());
    if (start >= text->GetHeadLength())
        return;
    uint8_t rest[fingerprint::kKeyBytes];
    const size_t got = reader.ReadTailStart(*text, rest, sizeof(rest));
    if (text->HasTail() && static_cast<int64_t>(got) < std::min<int64_t>(text->GetTailLength(), sizeof(rest)))
        return;  // the file ends early: nothing may stand for it
    m_fingerprints.Add(static_cast<int32_t>(k), number,
                       fingerprint::ComputeKey(text->GetHead(), text->GetHeadLength(), start, rest,
                                               text->HasTail() ? text->GetTailLength() : 0));
    m_whole.Release();
}

void CPdfFileAppend::FinishOutput()
{
    m_merges.clear();
    m_plan.reset();
    if (m_numbering.IsDanglingUsed())
        m_writer.AddOutputEntry({0, 0, 0});
    if (m_arguments.IsIncremental()) {
        FinishUpdate();
        return;
    }
    const int64_t startXRef = m_writer.GetOutputPosition();
    m_writer.WriteXRefTable();
    m_writer.WriteTrailer(startXRef, m_inputs[0]->xref->GetTrailer());
    CommitAndWarn();
}

void CPdfFileAppend::CommitAndWarn()
{
    std::vector<std::string> rebuilt;
    for (const auto& input : m_inputs)
        if (input->doc.WasRebuilt())
            rebuilt.push_back(input->name);
    m_inputs.clear();
    if (m_arguments.IsInPlace() && m_arguments.IsIncremental()) {
        if (!m_updateFile.Commit())
            throw CPdfException(msg::kWriteError).InFile(m_arguments.GetInputNames()[0]).Because(m_updateFile.GetError());
    } else if (m_arguments.IsInPlace()) {
        ReplaceFirstInput();
    } else if (!CommitOutput()) {
        throw CPdfException(msg::kWriteError).InFile(m_arguments.GetOutputName()).Because(m_outputFile.GetError());
    }
    // The result is good, but an input was damaged: its owner should know.
    for (const std::string& name : rebuilt)
        diagnostics::Warn(name, msg::kXRefRebuilt);
    // Tagged in part: a reader of the untagged pages is given no structure.
    for (const std::string& name : m_untaggedNames)
        diagnostics::Warn(name, msg::kUntagged);
    // A signature the result no longer matches.
    for (const auto& [name, first] : m_signedNames)
        diagnostics::Warn(name, first ? msg::kSignatureLost : msg::kLaterSignatureLost);
}

void CPdfFileAppend::FinishUpdate()
{
    const Input& first = *m_inputs[0];
    // An object of the first input found away from its entry had its table
    // rebuilt while it was copied: the chain the update would point at is
    // not the one that was read.
    if (first.xref->WasRebuilt())
        throw CPdfException(msg::kDamaged).InFile(first.name).Because(msg::kUpdateNeedsChain);
    CPdfFile::Update update;
    update.base = first.xref->GetBaseOffset();
    update.prev = first.xref->GetStartXRef();
    // The second /ID string tells this revision from the first.
    {
        md5_ctx ctx;
        md5_init(&ctx);
        const int64_t position = m_writer.GetOutputPosition();
        const int64_t now = std::chrono::system_clock::now().time_since_epoch().count();
        md5_update(&ctx, sizeof(position), reinterpret_cast<const uint8_t*>(&position));
        md5_update(&ctx, sizeof(now), reinterpret_cast<const uint8_t*>(&now));
        for (const std::string& name : m_arguments.GetInputNames())
            md5_update(&ctx, name.size(), reinterpret_cast<const uint8_t*>(name.data()));
        update.newId.resize(MD5_DIGEST_SIZE);
        md5_digest(&ctx, MD5_DIGEST_SIZE, reinterpret_cast<uint8_t*>(update.newId.data()));
    }
    if (first.xref->IsNewestSectionStream())
        m_writer.WriteUpdateStream(update, first.xref->GetTrailer());
    else
        m_writer.WriteUpdateTable(update, first.xref->GetTrailer());
    CommitAndWarn();
}

void CPdfFileAppend::ReplaceFirstInput()
{
    if (!m_outputFile.Close())
        throw CPdfException(msg::kWriteError).InFile(m_arguments.GetInputNames()[0]).Because(m_outputFile.GetError());
    // The result sits beside the first input, so one rename replaces it.
    if (m_outputFile.Commit())
        return;
    // A complete result the rename could not place: kept under a name a
    // person can find, never over an existing file.
    const std::string reason = m_outputFile.GetError();
    const std::string left = m_outputFile.SetAside(kInPlaceName);
    const std::string context = reason + "; the result is in " + left;
    if (left == CPdfOutputFile::NameBeside(m_outputFile.GetTarget(), kInPlaceName))
        throw CPdfException(msg::kCantReplaceInput).InFile(m_arguments.GetInputNames()[0]).Because(context);
    std::string text(std::strlen(msg::kResultSetAside) + left.size(), '\0');
    text.resize(static_cast<size_t>(std::snprintf(text.data(), text.size() + 1, msg::kResultSetAside, left.c_str())));
    throw CPdfException(text).InFile(m_arguments.GetInputNames()[0]).Because(context);
}
