#include "reader/CPdfDocument.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "document/CPdfCatalog.h"
#include "main/CPdfException.h"
#include "main/Messages.h"
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

void CPdfDocument::Open(const std::string& path)
{
    Close();
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) {
        const int error = errno;
        throw CPdfException(msg::kCantOpenFile).BecauseOf(error);
    }
    try {
        struct stat st;
        if (fstat(fileno(m_file.get()), &st) != 0) {
            const int error = errno;
            throw CPdfException(msg::kCantOpenFile).BecauseOf(error);
        }
        if (S_ISDIR(st.st_mode))
            throw CPdfException(msg::kCantOpenFile).BecauseOf(EISDIR);
        if (!S_ISREG(st.st_mode))
            throw CPdfException(msg::kCantOpenFile).Because("not a regular file");
        CPdfObject none;
        none.SetNull();
        m_stream.Reset(
            new CPdfFileStream(m_file.get(), 0, 0, none, std::make_shared<CPdfFileCache>(fileno(m_file.get()), kCacheBlocks, kCacheBlockSize)));
        CheckHeader();
        m_xref = std::make_unique<CPdfXRef>();
        m_xref->Load(m_stream.Get());
        m_catalog = std::make_unique<CPdfCatalog>();
        m_catalog->Load(m_xref.get());
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
    m_file.reset();
    m_version.clear();
    m_open = false;
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
