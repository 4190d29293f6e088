#include "object/CPdfShared.h"

#include <cassert>

CPdfShared::~CPdfShared() = default;

void CPdfShared::AddRef()
{
    ++m_refCount;
}

void CPdfShared::Release()
{
    assert(m_refCount > 0);
    if (--m_refCount == 0)
        delete this;
}
