#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "object/CPdfObject.h"

// Page labels across the inputs: every page of the result shows the label
// it had in its own input (i, ii, 1, 2, "A-1" ...), an input without labels
// counting as labelled 1, 2, 3 .... The result gets one flat number tree;
// when no input has labels, none is written.
class CPdfPageLabelMerge : public CPdfDocumentMerge {
public:
    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

private:
    struct Range {
        int64_t first;     // page index in the result
        CPdfObject label;  // as written in its input; OBJ_NONE: decimal from 1
        size_t part;
    };

    std::vector<Range> m_ranges;
    int64_t m_number = -1;
};
