#pragma once

#include <memory>
#include <string>

#include "base/CPdfInputFile.h"
#include "object/CPdfStreamRef.h"

class CPdfCatalog;
class CPdfException;
class CPdfFileCache;
class CPdfInputFilePool;
class CPdfXRef;

// One open input file: owns the file, the whole-file stream (whose
// start is moved to the "%PDF-" header), the cross-reference data (rebuilt
// from the file when it is damaged) and the checked catalog.
class CPdfDocument {
public:
    CPdfDocument();
    CPdfDocument(const CPdfDocument&) = delete;
    CPdfDocument& operator=(const CPdfDocument&) = delete;
    ~CPdfDocument();

    // Opens and loads the file; on failure the document is left closed and
    // the exception passes on. With a pool, the file's descriptor may be
    // closed between reads (see CPdfInputFile).
    void Open(const std::string& path, CPdfInputFilePool* pool = nullptr);
    void Close();
    bool IsOpen() const { return m_open; }

    CPdfXRef* GetXRef() const { return m_xref.get(); }
    // The open file. Everything reads it at explicit offsets (pread), never
    // through a position, so raw copies may use it too.
    CPdfInputFile* GetFile() const { return m_file.get(); }
    CPdfCatalog* GetCatalog() const { return m_catalog.get(); }
    const std::string& GetVersion() const { return m_version; }
    // The cross-reference data had to be rebuilt from the file's bytes.
    bool WasRebuilt() const;
    // Frees the blocks kept of the file for object fetches; later fetches
    // read them again. A job of many inputs holds them all open at once.
    void ReleaseCache();

private:
    void CheckHeader();
    // Walks the page tree; on damaged data, again after the table is rebuilt.
    void LoadCatalog();
    // "PDF file was damaged", for a failure on rebuilt data.
    static CPdfException Damaged(const CPdfException& failure);
    void ReadVersion(int64_t position);

    bool m_open = false;
    std::unique_ptr<CPdfInputFile> m_file;
    std::shared_ptr<CPdfFileCache> m_cache;
    CPdfStreamRef m_stream;
    std::unique_ptr<CPdfXRef> m_xref;
    std::unique_ptr<CPdfCatalog> m_catalog;
    std::string m_version;
};
