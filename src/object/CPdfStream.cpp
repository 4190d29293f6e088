#include "object/CPdfStream.h"

#include <cassert>

#include "base/CPdfException.h"
#include "base/Messages.h"

void CPdfStream::AddRef()
{
    ++m_refCount;
}

void CPdfStream::Release()
{
    assert(m_refCount > 0);
    if (--m_refCount == 0)
        delete this;
}

int CPdfStream::GetRawChar()
{
    throw CPdfException(msg::kGetRawChar);
}
