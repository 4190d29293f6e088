#pragma once

#include <cstdint>

// The reference count of what values share rather than copy: arrays,
// dictionaries and streams. Created with the count 1, held by the creator;
// the last Release destroys the object through its virtual destructor. A
// value holds its container only through this base, so the value type needs
// none of the containers it carries, which are all made of values.
class CPdfShared {
public:
    CPdfShared() = default;
    CPdfShared(const CPdfShared&) = delete;
    CPdfShared& operator=(const CPdfShared&) = delete;

    void AddRef();
    // Destroys the object when the last count goes.
    void Release();
    int32_t GetRefCount() const { return m_refCount; }

protected:
    virtual ~CPdfShared();

private:
    int32_t m_refCount = 1;
};
