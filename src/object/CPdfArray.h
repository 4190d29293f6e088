#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "object/CPdfObject.h"
#include "object/CPdfShared.h"

// The elements of one PDF array, shared by reference count. Borrows the
// resolver of the document it was read from, so Get follows references.
class CPdfArray : public CPdfShared {
public:
    explicit CPdfArray(CPdfResolver* resolver);

    void Append(const CPdfObject& value);
    // The same, taking the value over instead of copying it.
    void Append(CPdfObject&& value);
    int32_t GetSize() const;
    // The element at index, a reference resolved one level.
    void Get(int32_t index, CPdfObject& out) const;
    // The element as written: a reference stays a reference.
    void GetRaw(int32_t index, CPdfObject& out) const;

private:
    ~CPdfArray() override;

    CPdfResolver* m_resolver;
    std::vector<CPdfObject> m_elements;
};
