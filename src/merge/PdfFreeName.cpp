#include "merge/PdfFreeName.h"

#include "text/PdfTextString.h"

namespace freename {

std::string Find(const std::string& name, size_t first, const std::function<bool(const std::string&)>& taken)
{
    for (size_t n = first;; ++n) {
        std::string candidate = textstring::AppendAscii(name, "-" + std::to_string(n));
        if (!taken(candidate))
            return candidate;
    }
}

}  // namespace freename
