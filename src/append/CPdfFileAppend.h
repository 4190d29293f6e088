#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "append/CPdfArguments.h"
#include "base/CPdfInputFilePool.h"
#include "copy/CPdfDuplicateMatcher.h"
#include "copy/CPdfFingerprintIndex.h"
#include "copy/CPdfNumbering.h"
#include "copy/CPdfRawObject.h"
#include "copy/CPdfRawReader.h"
#include "document/CPdfDocument.h"
#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfMergePlan.h"
#include "merge/CPdfOutlineMerge.h"
#include "writer/CPdfFile.h"
#include "writer/CPdfOutputFile.h"
#include "writer/CPdfUpdateFile.h"
#include "text/CPdfTextEncryption.h"

class CPdfXRef;

// The append job: opens every input, writes a new file holding the first
// document's objects, each later input's objects under new numbers (see
// CPdfNumbering), one page tree and the document-level structures joined
// (outlines, destinations, forms, layers, labels, attachments), one
// cross-reference table and a trailer; with the compact switch, objects
// equal to objects already written are shared instead of copied. Owns the
// inputs' documents and raw readers, the numbering, the plan and the
// writer of the output file.
class CPdfFileAppend {
public:
    CPdfFileAppend();
    CPdfFileAppend(const CPdfFileAppend&) = delete;
    CPdfFileAppend& operator=(const CPdfFileAppend&) = delete;
    ~CPdfFileAppend();

    // Raises "Wrong program parameteres".
    bool ParseArguments(int argc, char** argv);
    // The whole job; raises CPdfException on any failure, after which no
    // partial output is left and no input is touched.
    bool Run();

    const CPdfArguments& GetArguments() const { return m_arguments; }

private:
    // One input while the job runs. The document's one file serves its raw
    // reader too: every read names its offset.
    struct Input {
        std::string name;
        CPdfDocument doc;
        std::unique_ptr<CPdfRawReader> reader;
        CPdfXRef* xref = nullptr;
        const std::vector<XRefEntry>* entries = nullptr;
        int32_t pages = 0;
        // The page tree was checked on a table rebuilt from the file's bytes.
        bool checkedRebuilt = false;
    };

    void CheckOutputName() const;
    void OpenInputs();
    void OpenInput(Input& input);
    // The document-level merges: planned before the copy, their new objects
    // written after it.
    void PlanMerges();
    // The outline the bookmarks option asks for, with each input's title.
    std::unique_ptr<CPdfOutlineMerge> MakeOutlineMerge();
    std::string DocumentTitle(Input& input);
    // Copies input k, renumbered; the inputs' own failures name the file.
    void CopyInput(size_t k);
    void CopyObjects(size_t k);
    // Adds object number of input k, just copied from m_text, to the index
    // of what later inputs' objects may be shared with.
    void IndexObject(size_t k, int32_t number);
    // With /s, the objects of input k go into the fingerprint index (all
    // inputs but the last: no later input's objects could be shared into
    // the last one's).
    bool IsIndexed(size_t k) const;
    void BuildDuplicateMap(size_t k);
    void FinishOutput();
    void ReplaceFirstInput();
    // --incremental: where the update goes (the first input itself, or a
    // copy of its bytes), and its cross-reference data and trailer.
    void OpenUpdate(const std::string& target);
    // The output file beside target, or standard output; Commit gives the
    // file its name.
    void OpenOutput(const std::string& target);
    bool CommitOutput();
    void FinishUpdate();
    // The result takes its place; then what a person should know of the
    // inputs goes to standard error.
    void CommitAndWarn();
    // The first input's objects stay in the file; only those the merges
    // change are written again.
    bool KeepsFirstInput(size_t k) const { return m_arguments.IsIncremental() && k == 0; }

    // The text of object number of input part with the merges' transforms
    // and edits applied (split: the end of its "stream" keyword); false when
    // nothing changes it.
    bool Rewrite(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t split, std::string& out);
    void WriteRawObject(const CPdfRawObject& text);
    // The part of a large stream object that stayed in its file.
    void WriteTail(const CPdfRawObject& text);
    // An object of a later input, or one the merges change: its head, then
    // raw's tail; in an update of an encrypted document, encrypted as object
    // (number, generation) first.
    void WriteObject(int64_t number, int32_t generation, const uint8_t* head, size_t length, const CPdfRawObject& raw);

    CPdfArguments m_arguments;
    // The inputs' descriptors: more inputs than the process may keep open
    // take turns.
    std::unique_ptr<CPdfInputFilePool> m_files;
    std::vector<std::unique_ptr<Input>> m_inputs;
    CPdfNumbering m_numbering;
    // With /s: the objects written unchanged so far, by fingerprint.
    CPdfFingerprintIndex m_fingerprints;
    CPdfOutputFile m_outputFile;
    CPdfUpdateFile m_updateFile;  // the in-place update
    // An update of an encrypted first input encrypts what it writes.
    std::unique_ptr<CPdfTextEncryption> m_encryption;
    CPdfFile m_writer;
    std::unique_ptr<CPdfMergePlan> m_plan;
    std::vector<std::unique_ptr<CPdfDocumentMerge>> m_merges;
    // Inputs without tags beside tagged ones, warned of once the result stands.
    std::vector<std::string> m_untaggedNames;
    // Inputs with a signed signature field that the result rewrites (and
    // whether it is the first), warned of once the result stands.
    std::vector<std::pair<std::string, bool>> m_signedNames;
    CPdfRawObject m_text;       // the object being copied
    CPdfRawObject m_whole;      // the same, read whole, when its key needs it
    std::string m_rewritten;    // its renumbered or edited form
    std::string m_edited;
    std::string m_transformed;
};
