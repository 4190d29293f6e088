#include "reader/PdfFilters.h"

#include <cstring>

#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfFlateStream.h"

namespace {

void LookupEither(const CPdfDictionary* dict, const char* key, const char* shortKey, CPdfObject& out)
{
    dict->Lookup(key, out);
    if (out.GetKind() == OBJ_NULL)
        dict->Lookup(shortKey, out);
}

}  // namespace

CPdfStream* CreateFilter(const char* name, CPdfStream* source, const CPdfObject& parameters)
{
    if (std::strcmp(name, "FlateDecode") != 0 && std::strcmp(name, "Fl") != 0)
        return nullptr;
    int32_t values[4] = {1, 1, 1, 8};  // Predictor, Columns, Colors, BitsPerComponent
    if (parameters.GetKind() == OBJ_DICTIONARY) {
        static const char* const kKeys[4] = {"Predictor", "Columns", "Colors", "BitsPerComponent"};
        for (int i = 0; i < 4; ++i) {
            CPdfObject value;
            parameters.GetDictionary()->Lookup(kKeys[i], value);
            if (value.GetKind() == OBJ_INTEGER)
                values[i] = value.GetInt();
        }
    }
    return new CPdfFlateStream(source, values[0], values[1], values[2], values[3]);
}

CPdfStream* ApplyFilters(CPdfStream* raw, const CPdfObject& dict)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return raw;
    const CPdfDictionary* d = dict.GetDictionary();
    CPdfObject filter;
    CPdfObject parameters;
    LookupEither(d, "Filter", "F", filter);
    LookupEither(d, "DecodeParms", "DP", parameters);
    switch (filter.GetKind()) {
    case OBJ_NAME:
        return CreateFilter(filter.GetText(), raw, parameters);
    case OBJ_ARRAY: {
        // A chain of several filters is not supported, even of FlateDecode.
        if (filter.GetArray()->GetSize() != 1)
            return nullptr;
        CPdfObject first;
        filter.GetArray()->Get(0, first);
        if (first.GetKind() != OBJ_NAME)
            return nullptr;
        return CreateFilter(first.GetText(), raw, parameters);
    }
    case OBJ_NULL:
        return raw;
    default:
        return nullptr;
    }
}
