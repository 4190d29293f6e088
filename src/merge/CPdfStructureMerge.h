#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfNameTree.h"
#include "merge/CPdfStructKeyShifter.h"
#include "object/CPdfObject.h"

// The logical structure of tagged inputs (/StructTreeRoot) joined into one
// tree: one /Document element holds every tagged input's elements in input
// order (the first document's own /Document element when its tree has one,
// a later input's as that input's part, else a /Part element made for it),
// each part in its own input's language. Each input's parent-tree keys get
// a range of their own, so every key of the result names the elements its
// input's key named; /IDTree, /RoleMap and /ClassMap are joined, a later ID, role
// or class that an earlier input uses differently taking a free name. Keys that an
// untagged input left behind are taken out, and such inputs are listed for
// a warning: the result is tagged only in part.
class CPdfStructureMerge : public CPdfDocumentMerge {
public:
    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

    // The inputs that have no structure while another has (by position).
    const std::vector<size_t>& GetUntagged() const { return m_untagged; }

private:
    struct Input {
        size_t part;
        int32_t root;     // the root's number; 0: written into the catalog
        CPdfObject value; // the root dictionary
        int64_t offset = 0;
        int64_t next = 0;  // one past its highest key
    };
    // An element made here, written once everything is copied.
    struct NewElement {
        int64_t number;
        std::string head;  // its entries before /K
        size_t part;       // whose kids it holds
        CPdfObject kids;   // raw /K value of that input's root; none: kidsText
        std::string kidsText;
    };

    void PlanKeys(CPdfMergePlan& plan, std::vector<Input>& tagged);
    void PlanTree(CPdfMergePlan& plan, std::vector<Input>& tagged);
    // The joined /RoleMap or /ClassMap (key) as text, "" when no input has
    // one; renamed[i]: the names tagged[i]'s elements take instead.
    std::string JoinMaps(CPdfMergePlan& plan, const std::vector<Input>& tagged, const char* key,
                         std::vector<std::map<std::string, std::string>>& renamed);
    // The "N 0 R" of the joined /IDTree, "" when no input has one.
    std::string JoinIds(CPdfMergePlan& plan, const std::vector<Input>& tagged,
                        std::vector<std::map<std::string, std::string>>& renamed);

    std::vector<size_t> m_untagged;
    std::vector<std::unique_ptr<CPdfStructKeyShifter>> m_shifters;
    std::vector<std::unique_ptr<CPdfTextTransform>> m_renamers;
    CPdfNameTree m_parentTree{CPdfNameTree::EKeys::kNumbers};
    CPdfNameTree m_idTree;
    std::string m_parentTreeRoot;  // "N 0 R" of the joined parent tree
    std::vector<NewElement> m_elements;
};
