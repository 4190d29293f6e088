#pragma once

#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfNameTree.h"

class CPdfNameDictionaryMerge;

// Files attached to the documents (the /Names /EmbeddedFiles tree): the
// result lists every input's attachments in one tree. A later input's file
// whose name an earlier input already lists is listed as "name-N", so both
// stay; the /Filespec dictionaries and the files themselves are the inputs'
// own objects, copied with them.
class CPdfAttachmentMerge : public CPdfDocumentMerge {
public:
    explicit CPdfAttachmentMerge(CPdfNameDictionaryMerge& names) : m_nameDictionary(&names) {}

    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override { m_tree.Write(output); }

private:
    CPdfNameDictionaryMerge* m_nameDictionary;
    CPdfNameTree m_tree;
};
