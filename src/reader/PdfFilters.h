#pragma once

#include "object/CPdfObject.h"

class CPdfStream;

// Filter selection for a stream object's raw data window.
//
// ApplyFilters takes over the caller's count on raw only when it returns a
// new decoding stream; it returns raw itself when there is no filter, and
// nullptr (raw untouched, still the caller's) when the filter is not
// supported.
CPdfStream* ApplyFilters(CPdfStream* raw, const CPdfObject& dict);

// A new flate stream over source for "FlateDecode" and "Fl" (taking over the
// count on source), nullptr for any other name.
CPdfStream* CreateFilter(const char* name, CPdfStream* source, const CPdfObject& parameters);
