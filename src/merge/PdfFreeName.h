#pragma once

#include <cstddef>
#include <functional>
#include <string>

// How every merge names what would collide: a later input's field, form
// resource, named destination or attached file whose name an earlier input
// already uses is given "name-N", N counting up from the input's ordinal
// (2 for the second document) until the name is free. A text string in
// UTF-16BE gets its suffix in UTF-16BE.
namespace freename {

// The first of name-first, name-(first + 1) ... that taken refuses.
std::string Find(const std::string& name, size_t first, const std::function<bool(const std::string&)>& taken);

}  // namespace freename
