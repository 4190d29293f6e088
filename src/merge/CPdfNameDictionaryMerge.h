#pragma once

#include <map>
#include <string>

#include "merge/CPdfDocumentMerge.h"

// The first catalog's /Names dictionary, where the other merges hang the
// name trees they join (named destinations, attached files). They say which
// trees they replace while they plan; planned after them, this makes one
// edit of the dictionary for all: key by key where it is an object of its
// own, as one new value where it is written into the catalog.
class CPdfNameDictionaryMerge : public CPdfDocumentMerge {
public:
    // key without its slash ("Dests"); root: the "N G R" of the new tree.
    void Replace(const std::string& key, const std::string& root) { m_replaced[key] = root; }

    void Plan(CPdfMergePlan& plan) override;

private:
    std::map<std::string, std::string> m_replaced;
};
