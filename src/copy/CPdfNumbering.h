#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/PdfFileFormat.h"
#include "copy/CPdfDuplicateMatcher.h"
#include "text/PdfObjectText.h"

// Where every object lands in the output, the one answer for the plan, the
// copy, the merges' writers and the table. Input k's object n is output
// object n plus the sizes of the tables before it, less one each (object 0
// has no image); the first input's keep their numbers. Under /s an object
// of a later input may be shared with an equal earlier one instead. The
// merges' new objects are numbered after all inputs, and a reference that
// names nothing in its input (a number beyond its table) points at one free
// entry after those.
//
// Objects are written under the generation in their own header, which is
// their entry's for objects in the file (a header that disagrees has the
// table rebuilt when it is read) and 0 for members of object streams.
// Borrows the inputs' tables, which must outlive it; it reads them as they
// stand, rebuilt or not.
class CPdfNumbering {
public:
    // The next input, in order.
    void AddInput(const std::vector<XRefEntry>& entries);
    size_t GetInputCount() const { return m_inputs.size(); }
    int64_t GetOffset(size_t part) const { return m_inputs[part].offset; }
    int32_t GetTableSize(size_t part) const { return static_cast<int32_t>(m_inputs[part].entries->size()); }

    // The output number of object number of part as its own copy, and the
    // generation it is written under.
    int64_t OutputNumber(size_t part, int64_t number) const { return m_inputs[part].offset + number; }
    int32_t OutputGeneration(size_t part, int64_t number) const;

    // A number for a new object, after every input's; none may be asked
    // for once the dangling entry is placed.
    int64_t NewObject();
    // One past the last number given out so far.
    int64_t GetEndNumber() const { return m_next; }

    // Under /s, what each object of part is shared with (by number).
    void SetDuplicates(size_t part, std::vector<CPdfDuplicateMatcher::Entry> duplicates);
    // Written as an earlier object, not as its own copy.
    bool IsShared(size_t part, int32_t number) const;

    // Where a reference of part to number points before sharing is decided
    // (the merges plan then): a number outside the table names nothing
    // (negative), the first document's references stay as written (no
    // generation), a later one's name the object's own copy.
    objecttext::Target PlannedTarget(size_t part, int64_t number) const;
    // Where it points in the output: sharing decided, and a number beyond
    // its table at the dangling entry. A later input's reference to object
    // 0 or below stays as written (negative).
    objecttext::Target OutputTarget(size_t part, int64_t number) const;

    // The dangling entry goes after every number given out so far.
    void PlaceDangling() { m_dangling = m_next; }
    int64_t GetDanglingNumber() const { return m_dangling; }
    bool IsDanglingUsed() const { return m_danglingUsed; }

private:
    struct Input {
        const std::vector<XRefEntry>* entries;
        int64_t offset;
        std::vector<CPdfDuplicateMatcher::Entry> duplicates;
    };

    std::vector<Input> m_inputs;
    int64_t m_next = 1;
    int64_t m_dangling = -1;
    mutable bool m_danglingUsed = false;
};
