#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "merge/CPdfDocumentMerge.h"

// The joined outline: every later input's top-level items follow the items
// before them, linked both ways (/Next, /Prev), with /Parent set to the one
// outline root, whose /Last and /Count (the sum of the roots' counts) follow.
// When the first document has no outline, the first later one that has
// items supplies the root. Items keep their open or closed state; a root
// whose items moved is left out.
//
// Per input instead: a new root with one closed item per input, in order,
// leading to the input's first page (/Fit) and titled as given, with that
// input's own items under it as they were. Or no outline at all.
class CPdfOutlineMerge : public CPdfDocumentMerge {
public:
    enum class EMode { kJoin, kPerInput, kNone };

    CPdfOutlineMerge() = default;
    // titles: per input, a PDF text string (kPerInput only).
    CPdfOutlineMerge(EMode mode, std::vector<std::string> titles) : m_mode(mode), m_titles(std::move(titles)) {}

    void Plan(CPdfMergePlan& plan) override;
    void Write(CPdfMergeOutput& output) override;

private:
    void PlanJoin(CPdfMergePlan& plan);
    void PlanPerInput(CPdfMergePlan& plan);
    void PlanNone(CPdfMergePlan& plan);

    // An item of its own for an input, as planned.
    struct InputItem {
        int64_t number = 0;
        std::string title;
        std::string page;         // "N G R" of its first page, empty if none
        std::string first, last;  // its own top-level items, empty if none
        int64_t hidden = 0;       // items that show when it is opened
    };

    EMode m_mode = EMode::kJoin;
    std::vector<std::string> m_titles;
    int64_t m_root = 0;
    std::vector<InputItem> m_items;
};
