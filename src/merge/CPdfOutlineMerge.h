#pragma once

#include "merge/CPdfDocumentMerge.h"

// The joined outline: every later input's top-level items follow the items
// before them, linked both ways (/Next, /Prev), with /Parent set to the one
// outline root, whose /Last and /Count (the sum of the roots' counts) follow.
// When the first document has no outline, the first later one that has
// items supplies the root. Items keep their open or closed state; a root
// whose items moved is left out.
class CPdfOutlineMerge : public CPdfDocumentMerge {
public:
    void Plan(CPdfMergePlan& plan) override;
};
