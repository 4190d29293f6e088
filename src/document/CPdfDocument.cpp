#include "document/CPdfDocument.h"

#include <cstring>
#include <optional>

#include "document/CPdfCatalog.h"
#include "base/CPdfException.h"
#include "base/Messages.h"
#include "reader/CPdfFileCache.h"
#include "reader/CPdfFileStream.h"
#include "reader/CPdfXRef.h"

namespace {
constexpr int32_t kHeaderWindow = 1023;
constexpr int32_t kHeaderCandidates = 1018;
// Blocks kept of each input for its object fetches: small, because page
// objects often sit between large images that only the copy reads.
constexpr size_t kCacheBlocks = 64;
constexpr size_t kCacheBlockSize = 4 * 1024;
}  // namespace

CPdfDocument::CPdfDocument() = default;

CPdfDocument::~CPdfDocument()
{
    Close();
}

void CPdfDocument::Open(const std::string& path, CPdfInputFilePool* pool)
{
    Close();
    m_file = std::make_unique<CPdfInputFile>(path, pool);
    try {
        CPdfObject none;
        none.SetNull();
        m_cache = std::make_shared<CPdfFileCache>(*m_file, kCacheBlocks, kCacheBlockSize);
        m_stream.Reset(new CPdfFileStream(m_file.get(), 0, 0, none, m_cache));
        CheckHeader();
        m_xref = std::make_unique<CPdfXRef>();
        m_xref->LoadOrRebuild(m_stream.Get(), m_file.get());
        LoadCatalog();
        // A header further into the file than CheckHeader looks.
        if (m_version.empty() && m_xref->GetRebuiltHeader() >= 0)
            ReadVersion(m_xref->GetRebuiltHeader());
        // The job numbers objects by this table from here on.
        m_xref->KeepLayout();
    } catch (...) {
        Close();
        throw;
    }
    m_open = true;
}

void CPdfDocument::Close()
{
    m_catalog.reset();
    m_xref.reset();
    m_stream.Reset(nullptr);
    m_cache.reset();
    m_file.reset();
    m_version.clear();
    m_open = false;
}

bool CPdfDocument::WasRebuilt() const
{
    return m_xref && m_xref->WasRebuilt();
}

void CPdfDocument::ReleaseCache()
{
    if (m_cache)
        m_cache->Release();
}

void CPdfDocument::LoadCatalog()
{
    const bool rebuiltBefore = m_xref->WasRebuilt();
    // A failure on data read as stated, when a rebuild is only a last try.
    std::optional<CPdfException> stated;
    try {
        m_catalog = std::make_unique<CPdfCatalog>();
        m_catalog->Load(m_xref.get());
        if (rebuiltBefore || !m_xref->WasRebuilt())
            return;
        // An object was not where its entry said, and the table was rebuilt
        // during the walk: the walk starts again from the rebuilt trailer.
    } catch (const CPdfException& e) {
        if (rebuiltBefore)
            throw Damaged(e);
        if (!m_xref->WasRebuilt()) {
            // Nothing showed the table wrong, but one that calls an object
            // free, or ends too early, shows only as a broken page tree. A
            // last try on rebuilt data keeps this failure if it fails too.
            if (!m_xref->Rebuild())
                throw;
            stated = e;
        }
    }
    try {
        m_xref->CheckTrailer();
        m_catalog = std::make_unique<CPdfCatalog>();
        m_catalog->Load(m_xref.get());
    } catch (const CPdfException& e) {
        if (stated)
            throw *stated;
        throw Damaged(e);
    }
}

CPdfException CPdfDocument::Damaged(const CPdfException& failure)
{
    const std::string why = failure.GetReason().empty() ? failure.GetMessageText() : failure.GetReason();
    return CPdfException(msg::kDamaged).Because("its cross-reference data had to be rebuilt, and then: " + why);
}

void CPdfDocument::ReadVersion(int64_t position)
{
    // As CheckHeader takes it: from after the "%" to white space.
    m_stream->Seek(position + 1, CPdfStream::SEEK_FROM_BEGIN);
    constexpr int32_t kLongest = 16;
    for (int32_t n = 0; n < kLongest; ++n) {
        const int c = m_stream->GetChar();
        if (c < 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0')
            break;
        m_version.push_back(static_cast<char>(c));
    }
}

void CPdfDocument::CheckHeader()
{
    // "%PDF-" is looked for in the first 1023 bytes; the version token may
    // run a little past them (a header at byte 1017 would otherwise give
    // "PDF-1").
    constexpr int32_t kTokenSpill = 16;
    char buffer[kHeaderWindow + kTokenSpill + 1];
    int32_t n = 0;
    while (n < kHeaderWindow + kTokenSpill) {
        const int c = m_stream->GetChar();
        if (c < 0)
            break;
        buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = '\0';
    const int32_t window = n < kHeaderWindow ? n : kHeaderWindow;
    for (int32_t p = 0; p < kHeaderCandidates && p + 5 <= window; ++p) {
        if (std::memcmp(buffer + p, "%PDF-", 5) != 0)
            continue;
        // Everything the file states is relative to the header.
        m_stream->ShiftStart(p);
        int32_t end = p + 1;
        while (end < n && buffer[end] != ' ' && buffer[end] != '\t' && buffer[end] != '\n' &&
               buffer[end] != '\r' && buffer[end] != '\0')
            ++end;
        m_version.assign(buffer + p + 1, static_cast<size_t>(end - p - 1));
        return;
    }
}
