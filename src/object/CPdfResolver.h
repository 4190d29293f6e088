#pragma once

#include <cstdint>

class CPdfObject;

// What a dereference needs: the cross-reference data of one document.
// FetchObject fills the empty value out with the object stored under
// (number, generation), or with OBJ_NULL when it cannot be produced.
class CPdfResolver {
public:
    virtual ~CPdfResolver() = default;
    virtual void FetchObject(int32_t number, int32_t generation, CPdfObject& out) = 0;
};
