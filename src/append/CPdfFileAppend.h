#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "append/CPdfRawObject.h"
#include "append/CPdfRawReader.h"
#include "append/PdfFingerprint.h"
#include "append/PdfObjectText.h"
#include "reader/CPdfDocument.h"
#include "reader/CPdfXRef.h"
#include "writer/CPdfFile.h"
#include "writer/CPdfOutputFile.h"

// The append job: opens both inputs, writes a new file holding the first
// document's objects, the second document's objects under new numbers
// (raised by T1 - 1), one page tree and joined outlines, one cross-reference
// table and a trailer; with the compact switch, objects of the second
// document equal to objects of the first are shared instead of copied.
// Owns both documents, the raw input handles and the output file; borrows
// the documents' tables while they are open.
class CPdfFileAppend : public CPdfFile {
public:
    CPdfFileAppend();
    ~CPdfFileAppend() override;

    // Raises "Wrong program parameteres".
    bool ParseArguments(int argc, char** argv) override;
    // The whole job; raises CPdfException on any failure, after which no
    // partial output is left and the first input is untouched.
    bool Run() override;

    const std::string& GetFirstInputName() const { return m_firstName; }
    const std::string& GetSecondInputName() const { return m_secondName; }
    const std::string& GetOutputName() const { return m_outputName; }

    // The output name that makes the result replace the first input.
    static constexpr const char* kInPlaceName = "temp.tmp";

private:
    struct DuplicateEntry {
        int32_t target;   // object of the first document it equals
        int32_t matched;  // 1 when it is shared (or being examined)
    };
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };

    void CheckOutputName() const;
    void OpenInputs();
    int32_t FindPageTreeRoot(CPdfXRef& xref) const;
    int32_t IndirectKids() const;
    void CopyFirstDocument();
    void CopySecondDocument();
    void FinishOutput();
    void ReplaceFirstInput();

    // Part of the job in their own files: page trees, outlines, duplicates.
    void MergePageTrees(CPdfRawObject& rootText);
    void MergeOutlines();
    void AdoptOutlineItems(int32_t first2, int32_t last2);
    void BuildDuplicateMap();
    bool MatchObject(int32_t number, bool allowPages);

    // The state of the duplicate examination (compact mode only).
    struct MatchFrame {
        int32_t number = 0;
        bool allowPages = false;
        bool allowReferences = false;
        std::string text;
        std::vector<int32_t> references;
        size_t next = 0;
        std::vector<int32_t> dependsOn;  // objects in examination it relied on
    };
    struct Provisional {
        std::vector<int32_t> on;  // objects still in examination
        bool allowPages = false;
    };
    struct MatchState {
        std::unordered_map<uint64_t, std::vector<int32_t>> index;
        std::vector<uint8_t> failed[2];  // per allow-pages level
        std::vector<uint8_t> inProgress;
        std::unordered_map<int32_t, Provisional> provisional;
        std::unordered_map<int32_t, std::vector<int32_t>> dependents;
    };
    bool BeginMatch(int32_t number, bool allowPages, std::vector<MatchFrame>& stack);
    bool Fail(int32_t number, bool allowPages);
    void Settle(int32_t number, bool matchedToItself);
    bool ReadExaminedText(int32_t number, std::string& text);
    int32_t FindEqualObject(const std::string& text);

    // The number a reference to object number of the second document gets.
    objecttext::Target MapReference(int64_t number) const;
    // The generation written in the output for an object of the second
    // document: the one in its own header (0 in an object stream).
    int32_t SecondOutputGeneration(int32_t number);
    static int32_t HeaderGeneration(const CPdfRawObject& text);
    std::string InheritanceStops();
    static void FetchNode(CPdfXRef& xref, int32_t number, CPdfObject& out);
    int32_t PageCount(CPdfXRef& xref, int32_t root, const CPdfDocument& doc);

    void WriteRawObject(const CPdfRawObject& text);
    void WriteSecondObject(int32_t number, const CPdfRawObject& text, const std::string& insertion);

    std::unique_ptr<FILE, FileCloser> m_raw1;
    std::unique_ptr<FILE, FileCloser> m_raw2;
    CPdfDocument m_doc1;
    CPdfDocument m_doc2;
    CPdfXRef* m_xref1 = nullptr;
    CPdfXRef* m_xref2 = nullptr;
    int32_t m_root1 = 0;
    int32_t m_info1 = 0;
    int32_t m_root2 = 0;
    int32_t m_info2 = 0;
    int32_t m_outline1 = 0;
    int32_t m_outline2 = 0;
    int32_t m_objectOffset = 0;
    int32_t m_pages1 = 0;
    int32_t m_pages2 = 0;
    // The first root node's indirect /Kids array (0 when direct): rewritten
    // later, so it is never a sharing target.
    int32_t m_kids1 = 0;
    std::vector<fingerprint::Fingerprint> m_fingerprints;
    std::vector<DuplicateEntry> m_duplicates;
    const std::vector<XRefEntry>* m_entries1 = nullptr;
    const std::vector<XRefEntry>* m_entries2 = nullptr;
    std::string m_firstName;
    std::string m_secondName;
    std::string m_outputName;
    bool m_compact = false;

    std::unique_ptr<CPdfRawReader> m_reader1;
    std::unique_ptr<CPdfRawReader> m_reader2;
    CPdfOutputFile m_outputFile;
    std::unique_ptr<MatchState> m_matcher;
    CPdfRawObject m_text;       // the object being copied
    CPdfRawObject m_heldRoot;   // the first root node, written last
    std::string m_rewritten;    // its renumbered form
};
