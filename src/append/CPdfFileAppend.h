#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "copy/CPdfDuplicateMatcher.h"
#include "copy/CPdfFingerprintIndex.h"
#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "copy/CPdfRawObject.h"
#include "copy/CPdfRawReader.h"
#include "copy/PdfFingerprint.h"
#include "text/PdfObjectText.h"
#include "document/CPdfDocument.h"
#include "reader/CPdfXRef.h"
#include "writer/CPdfFile.h"
#include "writer/CPdfOutputFile.h"

// The append job: opens every input, writes a new file holding the first
// document's objects, each later input's objects under new numbers (raised
// by the sizes of the tables before it), one page tree and the
// document-level structures joined (outlines, destinations, forms, layers,
// labels), one cross-reference table and a trailer; with the compact
// switch, objects equal to objects already written are shared instead of
// copied. Owns the inputs' documents, raw handles and the output file.
class CPdfFileAppend : public CPdfFile, private CPdfMergeOutput {
public:
    CPdfFileAppend();
    ~CPdfFileAppend() override;

    // Raises "Wrong program parameteres".
    bool ParseArguments(int argc, char** argv) override;
    // The whole job; raises CPdfException on any failure, after which no
    // partial output is left and no input is touched.
    bool Run() override;

    const std::vector<std::string>& GetInputNames() const { return m_inputNames; }
    const std::string& GetOutputName() const { return m_outputName; }
    bool IsCompact() const { return m_compact; }

    // The output name that makes the result replace the first input.
    static constexpr const char* kInPlaceName = "temp.tmp";

private:
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    // One input while the job runs.
    struct Input {
        std::string name;
        CPdfDocument doc;
        std::unique_ptr<FILE, FileCloser> raw;
        std::unique_ptr<CPdfRawReader> reader;
        CPdfXRef* xref = nullptr;
        const std::vector<XRefEntry>* entries = nullptr;
        int32_t root = 0;
        int32_t info = 0;
        int32_t pages = 0;
        int64_t offset = 0;  // added to its numbers in the output
        // With /s, for each of its numbers the earlier object it equals.
        std::vector<CPdfDuplicateMatcher::Entry> duplicates;
    };

    void CheckOutputName() const;
    void OpenInputs();
    void OpenInput(Input& input);
    static int32_t FindPageTreeRoot(CPdfXRef& xref);
    // The document-level merges: planned before the copy, their new objects
    // written after it.
    void PlanMerges();
    // Copies input k, renumbered; the inputs' own failures name the file.
    void CopyInput(size_t k);
    void CopyObjects(size_t k);
    // With /s, the objects of input k go into the fingerprint index (all
    // inputs but the last: no later input's objects could be shared into
    // the last one's).
    bool IsIndexed(size_t k) const;
    void BuildDuplicateMap(size_t k);
    void FinishOutput();
    void ReplaceFirstInput();

    static int32_t HeaderGeneration(const CPdfRawObject& text);
    // The text of object number of input part with the merges' transforms
    // and edits applied (split: the end of its "stream" keyword); false when
    // nothing changes it.
    bool Rewrite(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t split, std::string& out);
    // Where a reference of input part to number points in the output.
    objecttext::Target MapReference(size_t part, int64_t number) const override;
    void WriteNewObject(int64_t number, const std::string& body) override;

    void WriteRawObject(const CPdfRawObject& text);
    // The part of a large stream object that stayed in its file.
    void WriteTail(const CPdfRawObject& text);

    std::vector<std::string> m_inputNames;
    std::string m_outputName;
    bool m_compact = false;

    std::vector<std::unique_ptr<Input>> m_inputs;
    // The one free entry that references naming nothing (numbers beyond
    // their own table) are pointed at.
    int64_t m_dangling = 0;
    mutable bool m_danglingUsed = false;
    // With /s: the objects written unchanged so far, by fingerprint.
    CPdfFingerprintIndex m_fingerprints;
    CPdfOutputFile m_outputFile;
    std::unique_ptr<CPdfMergePlan> m_plan;
    std::vector<std::unique_ptr<CPdfDocumentMerge>> m_merges;
    CPdfRawObject m_text;       // the object being copied
    std::string m_rewritten;    // its renumbered or edited form
    std::string m_edited;
    std::string m_transformed;
};
