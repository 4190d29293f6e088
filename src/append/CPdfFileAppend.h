#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "append/CPdfDocumentMerge.h"
#include "append/CPdfDuplicateMatcher.h"
#include "append/CPdfMergeOutput.h"
#include "append/CPdfMergePlan.h"
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
class CPdfFileAppend : public CPdfFile, private CPdfMergeOutput {
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
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };

    void CheckOutputName() const;
    void OpenInputs();
    int32_t FindPageTreeRoot(CPdfXRef& xref) const;
    // The document-level merges: planned before the copy, their new objects
    // written after it.
    void PlanMerges();
    void CopyFirstDocument();
    void BuildDuplicateMap();
    void CopySecondDocument();
    void FinishOutput();
    void ReplaceFirstInput();

    // The number a reference to object number of the second document gets.
    objecttext::Target MapReference(int64_t number) const;
    static int32_t HeaderGeneration(const CPdfRawObject& text);
    // The text of object number of part with the merges' transforms and
    // edits applied (split: the end of its "stream" keyword); false when
    // nothing changes it.
    bool Rewrite(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t split, std::string& out);
    // Where the merges' references and new objects go.
    objecttext::Target MapReference(size_t part, int64_t number) const override;
    void WriteNewObject(int64_t number, const std::string& body) override;

    void WriteRawObject(const CPdfRawObject& text);
    // The part of a large stream object that stayed in its file.
    void WriteTail(const CPdfRawObject& text);

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
    int32_t m_objectOffset = 0;
    int32_t m_pages1 = 0;
    int32_t m_pages2 = 0;
    // The one free entry that references naming nothing (numbers beyond
    // their own table) are pointed at.
    int64_t m_dangling = 0;
    mutable bool m_danglingUsed = false;
    std::vector<fingerprint::Fingerprint> m_fingerprints;
    std::vector<CPdfDuplicateMatcher::Entry> m_duplicates;
    const std::vector<XRefEntry>* m_entries1 = nullptr;
    const std::vector<XRefEntry>* m_entries2 = nullptr;
    std::string m_firstName;
    std::string m_secondName;
    std::string m_outputName;
    bool m_compact = false;

    std::unique_ptr<CPdfRawReader> m_reader1;
    std::unique_ptr<CPdfRawReader> m_reader2;
    CPdfOutputFile m_outputFile;
    std::unique_ptr<CPdfMergePlan> m_plan;
    std::vector<std::unique_ptr<CPdfDocumentMerge>> m_merges;
    CPdfRawObject m_text;       // the object being copied
    std::string m_rewritten;    // its renumbered or edited form
    std::string m_edited;
    std::string m_transformed;
};
