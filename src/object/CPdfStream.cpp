#include "object/CPdfStream.h"

#include "base/CPdfException.h"
#include "base/Messages.h"

int CPdfStream::GetRawChar()
{
    throw CPdfException(msg::kGetRawChar);
}
