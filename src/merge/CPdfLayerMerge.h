#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "merge/CPdfDocumentMerge.h"
#include "object/CPdfObject.h"

// The joined optional content: one /OCProperties, written as a new object,
// that lists the groups of every input. Its default configuration is the
// first one's (/BaseState, /Name, /Intent ... and /Configs as they were);
// every later input's group whose visibility in its own default
// configuration differs from what that /BaseState gives is listed in /ON or
// /OFF, so each page shows what it showed in its own document. /Order,
// /RBGroups, /Locked and /AS are joined (an input without /Order contributes
// its groups in the order of its /OCGs, so the layer list shows them all).
// A later input's groups keep their own copies under /s: shared with an
// equal group of an earlier input, they would take that group's state.
//
// Nothing changes when no later input has optional content. Holds parsed
// values of the inputs from Plan to Write, so the inputs must stay open
// until Write.
class CPdfLayerMerge : public CPdfDocumentMerge {
public:
    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

private:
    struct Layers {
        size_t part = 0;
        CPdfObject properties;  // its /OCProperties dictionary
        CPdfObject config;      // its /D dictionary (OBJ_NULL when none)
        std::vector<CPdfObject> on, off;  // groups to list beyond the first configuration's
    };

    std::vector<Layers> m_layers;
    int64_t m_number = 0;  // the new /OCProperties object; 0: none planned
};
