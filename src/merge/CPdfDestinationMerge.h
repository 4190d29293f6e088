#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfNameTree.h"

class CPdfNameDictionaryMerge;

class CPdfDestinationRenamer;
struct CPdfMergePart;

// Named destinations across the inputs. Every input keeps resolving its own
// names to its own pages: the result has one name tree (and one /Dests
// dictionary) holding every input's names, where a later input's name that
// an earlier input already uses is renamed ("page.1" becomes "page.1-2"),
// and every link, bookmark and GoTo action of that input that names it is
// rewritten to match. A later input's reference to a name it does not
// define, but another input does, is renamed to a name nothing defines, so
// it stays as dead as it was; so do the first input's. Names that do not
// collide stay resolvable by name, for links from outside the file.
class CPdfDestinationMerge : public CPdfDocumentMerge {
public:
    // The tree is hung from the /Names dictionary by names.
    explicit CPdfDestinationMerge(CPdfNameDictionaryMerge& names);
    ~CPdfDestinationMerge() override;

    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

private:
    // A name and its destination, written out when it is read (references
    // in output numbers), so that large trees take little memory.
    using Entry = CPdfNameTree::Entry;
    // The names one input defines: the name tree under /Names /Dests and the
    // older /Dests dictionary, with the node objects they were read from.
    struct Names {
        std::vector<Entry> tree;
        std::vector<Entry> dests;
        std::unordered_set<std::string> defined;
        std::vector<int32_t> treeNodes;
        std::vector<int32_t> destsNodes;
        std::unordered_map<std::string, std::string> renamed;  // memo of Rename
    };
    static void ReadNames(CPdfMergePlan& plan, size_t index, Names& out);
    bool Rename(size_t part, const std::string& name, std::string& newName);
    std::string UniqueName(size_t part, const std::string& name);

    std::vector<Names> m_names;
    std::unordered_set<std::string> m_given;  // every new name given out
    std::vector<std::unique_ptr<CPdfDestinationRenamer>> m_renamers;
    CPdfNameDictionaryMerge* m_nameDictionary;
    CPdfNameTree m_tree;
    std::vector<Entry> m_dests;  // merged /Dests
    int64_t m_destsNumber = -1;
};
