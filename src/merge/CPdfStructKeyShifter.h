#pragma once

#include <cstdint>
#include <string>

#include "merge/CPdfTextTransform.h"

// Moves one input's parent-tree keys into its range of the joined parent
// tree: the integer value of every /StructParents key (pages, form
// XObjects) and /StructParent key (annotations, form XObjects) gets the
// input's offset added. A key its own tree cannot resolve (outside
// [0, limit), or not an integer) is taken out with its value, so that it
// can never name another input's elements; an untagged input has limit 0.
class CPdfStructKeyShifter : public CPdfTextTransform {
public:
    CPdfStructKeyShifter(int64_t offset, int64_t limit) : m_offset(offset), m_limit(limit) {}

    bool Transform(const uint8_t* text, uint32_t length, std::string& out) const override;

private:
    int64_t m_offset;
    int64_t m_limit;
};
