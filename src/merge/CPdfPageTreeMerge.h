#pragma once

#include "merge/CPdfDocumentMerge.h"

// The one page tree: every later input's root page-tree node becomes the
// last kid of the first root node, whose /Count becomes the sum; each hung
// root gains a /Parent, and stops the attributes it would otherwise start
// inheriting from the first root (its pages keep what they had).
class CPdfPageTreeMerge : public CPdfDocumentMerge {
public:
    void Plan(CPdfMergePlan& plan) override;
};
