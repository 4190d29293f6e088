#pragma once

class CPdfMergeOutput;
class CPdfMergePlan;

// One document-level structure joined across the inputs (outlines, named
// destinations, the form, layers, page labels). Plan runs before anything is
// copied and records edits, numbers and transforms in the plan; Write runs
// after every input has been copied and writes the new objects planned.
class CPdfDocumentMerge {
public:
    virtual ~CPdfDocumentMerge() = default;
    virtual void Plan(CPdfMergePlan& plan) = 0;
    virtual void Write(CPdfMergeOutput& output) { (void)output; }
};
