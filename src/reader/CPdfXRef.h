#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/PdfFileFormat.h"
#include "object/CPdfObject.h"
#include "object/CPdfResolver.h"
#include "reader/CPdfXRefScanner.h"

class CPdfDictionary;
class CPdfInputFile;
class CPdfObjectStream;
class CPdfObjectStreamData;
class CPdfParser;
class CPdfSecurityHandler;
class CPdfStream;

// The cross-reference data of one input file and the resolver behind every
// dereference: the entry table, the newest trailer, Root and Info, and one
// cached object stream in each of two forms (parsed members, raw bytes).
// When the data cannot be read as the file states it, or an object is not
// where its entry says, the table is rebuilt from the file's bytes, once.
// Borrows the document's whole-file stream and descriptor.
class CPdfXRef : public CPdfResolver {
public:
    static constexpr int32_t kMaxEntries = pdfformat::kMaxEntries;
    // Beyond any file: an offset past it is treated as pointing nowhere.
    static constexpr int64_t kMaxOffset = int64_t(1) << 50;

    CPdfXRef();
    CPdfXRef(const CPdfXRef&) = delete;
    CPdfXRef& operator=(const CPdfXRef&) = delete;
    ~CPdfXRef() override;

    // Reads startxref and the chain of sections and, for an encrypted file,
    // authenticates the empty password; raises CPdfException.
    void Load(CPdfStream* fileStream);
    // As Load, but cross-reference data that cannot be read as the file
    // states it (no startxref or "%%EOF" near the end, a section that does
    // not parse, a /Prev leading nowhere, a trailer without /Root) is rebuilt
    // from the file behind fd instead. Raises "PDF file was damaged" when
    // even that gives no trailer, and what opening its encryption raises.
    void LoadOrRebuild(CPdfStream* fileStream, CPdfInputFile* file);
    // Rebuilds the table from the file, the first time it is called on a
    // table loaded with a descriptor: true when it did. Raises nothing; the
    // object-stream caches are emptied. Before KeepLayout the trailer, Root
    // and Info are replaced too (check them again with CheckTrailer).
    bool Rebuild();
    // Rebuild, called because the object of entry was not where it says;
    // false for an entry that is no sign of a wrong table.
    bool RebuildFor(const XRefEntry& entry);
    bool WasRebuilt() const { return m_rebuilt; }
    // The job plans its numbering on the table's size and trailer: a rebuild
    // after this keeps both and changes only where objects are found.
    void KeepLayout() { m_layoutKept = true; }
    // Raises "PDF file was damaged" when there is no trailer, or it has no
    // /Root reference.
    void CheckTrailer() const;
    // The position of a "%PDF-" header the rebuild found, -1 when it found
    // none (or there was no rebuild).
    int64_t GetRebuiltHeader() const { return m_rebuiltHeader; }

    const std::vector<XRefEntry>& GetEntries() const { return m_entries; }
    int32_t GetRootNum() const { return m_rootNum; }
    int32_t GetRootGen() const { return m_rootGen; }
    int32_t GetInfoNum() const { return m_infoNum; }
    int32_t GetInfoGen() const { return m_infoGen; }
    const CPdfObject& GetTrailer() const { return m_trailer; }
    int64_t GetBaseOffset() const { return m_baseOffset; }
    // The newest section as the file's startxref states it, and whether it
    // is a cross-reference stream (else a table): what an update of the
    // file points back to, and the kind it continues with.
    int64_t GetStartXRef() const { return m_startXRef; }
    bool IsNewestSectionStream() const { return m_newestIsStream; }
    // The key of an encrypted file, or nullptr. Objects fetched here come
    // decrypted; raw copies of its objects must be decrypted by the reader.
    const CPdfSecurityHandler* GetSecurityHandler() const { return m_security.get(); }
    // The number of the /Encrypt dictionary object (0 when there is none, or
    // it is written into the trailer): never decrypted, never copied.
    int32_t GetEncryptNum() const { return m_encryptNum; }

    // Fills out with the object, or OBJ_NULL; "Corrupted PDF file" for a
    // number outside the table.
    void FetchObject(int32_t number, int32_t generation, CPdfObject& out) override;

    // Like FetchObject for an object stored in the file, but a stream object
    // keeps its raw data window (not decoded): GetStart and GetLength of its
    // stream give where the data lies. OBJ_NULL when the object is not
    // there; a stream whose data is not followed by "endstream" raises.
    void FetchRawObject(int32_t number, CPdfObject& out);

    // The bytes of a member of an object stream, pointing into the raw cache:
    // valid until another object stream is loaded into it. nullptr when the
    // member is not there or generation is not 0; a member the stream does
    // not list has the table rebuilt, to be looked up again.
    const uint8_t* GetCompressedObjectData(int32_t number, int32_t generation, int32_t& length);

private:
    // The stated data, newest section first; raises on the first fault.
    // strictEnd: a file without "%%EOF" after its startxref, or with objects
    // or a trailer after that, is damaged too.
    void ReadStated(bool strictEnd);
    // The trailer (a dictionary) has a /Root reference.
    bool HasRoot() const;
    // Root and Info from the trailer (0 when it has no /Root reference).
    void TakeRootAndInfo();
    int64_t FindStartXRef(bool& endMarked);
    // Reads the trailer's /Encrypt, if any, and opens it with the empty
    // password: "PDF file is protected by a password" when that fails,
    // "Encrypted PDF files are not supported" for what cannot be read.
    void OpenSecurity();
    // The trailer's /Encrypt dictionary (dict; OBJ_NULL when it names none)
    // and the first /ID string; false when there is no /Encrypt.
    bool ReadEncryption(CPdfObject& dict, std::string& id);
    // Once the key is known: the members of the object streams a rebuild
    // could not read, entered as the scan would have.
    void OpenSealedStreams();
    // Where the definition an entry describes stands in the file (for a
    // member: where its object stream does), -1 for none.
    int64_t DefinedAt(const XRefEntry& entry) const;
    // Reads one section; returns true and the offset when /Prev names another.
    bool ReadSection(int64_t offset, int64_t& prev);
    bool ReadXRefTable(CPdfParser& parser, int64_t& prev);
    bool ReadXRefStream(const CPdfObject& stream, int64_t& prev, bool storeTrailer);
    void ReadXRefStreamSubsection(CPdfStream* stream, const int32_t widths[3], int32_t first, int32_t count);
    void ReadHybridStream(int64_t offset, const std::vector<int32_t>& markedFree);
    void GrowTable(int64_t size, const char* message);
    // The file position of an offset the file states (relative to its
    // header); kMaxOffset when it cannot be one.
    int64_t FilePosition(int64_t offset) const;
    // The decoded data of object stream number, fetched through this table.
    std::unique_ptr<CPdfObjectStreamData> LoadObjectStream(int32_t number);
    // The object stream a type-2 entry names, or -1.
    static int32_t ObjectStreamOf(const XRefEntry& entry);
    // False when the bytes at offset are not the object's header "N G obj":
    // the entry is wrong. out is then OBJ_NULL.
    bool FetchAt(int32_t number, int32_t generation, int64_t offset, bool decode, CPdfObject& out);

    // Guards against objects that lead back into themselves while they are
    // being loaded (a /Length or an object stream that refers to its own
    // object) and bounds the depth of such nested loads.
    bool EnterFetch(int32_t number);
    static constexpr size_t kMaxFetchDepth = 64;
    // Entries decoded from all cross-reference streams of one file: a few
    // full tables (hybrid, linearized, updated files) and no more.
    static constexpr int64_t kMaxStreamEntries = int64_t(4) * kMaxEntries;
    // An entry no section has described yet.
    static constexpr XRefEntry kUnset = {-1, 0, 0};
    int64_t m_streamEntries = 0;

    CPdfStream* m_fileStream = nullptr;
    CPdfInputFile* m_file = nullptr;
    bool m_rebuilt = false;
    bool m_layoutKept = false;
    int64_t m_rebuiltHeader = -1;
    std::vector<CPdfXRefScanner::SealedStream> m_sealed;
    int64_t m_baseOffset = 0;
    std::vector<XRefEntry> m_entries;
    int32_t m_rootNum = 0;
    int32_t m_rootGen = 0;
    int32_t m_infoNum = 0;
    int32_t m_infoGen = 0;
    CPdfObject m_trailer;
    int64_t m_startXRef = 0;
    bool m_newestIsStream = false;
    std::unique_ptr<CPdfObjectStream> m_parsedCache;
    std::unique_ptr<CPdfObjectStreamData> m_rawCache;
    std::vector<int32_t> m_fetching;
    std::unique_ptr<CPdfSecurityHandler> m_security;
    int32_t m_encryptNum = 0;
};
