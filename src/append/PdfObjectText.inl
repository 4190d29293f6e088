#pragma once

#include <type_traits>

namespace objecttext {

template <typename MapNumber>
void Renumber(const uint8_t* text, uint32_t length, const Layout& layout, int64_t newNumber, MapNumber mapNumber,
              const std::string& insertion, std::string& out)
{
    out.clear();
    out.reserve(length + insertion.size() + 16);
    const char* t = reinterpret_cast<const char*>(text);
    uint32_t pos = 0;
    if (layout.hasHeader) {
        out.append(t, layout.numberStart);
        AppendNumber(out, newNumber);
        pos = layout.numberEnd;
    }
    size_t nextRef = 0;
    const bool insert = !insertion.empty() && layout.dictOpen >= 0;
    const uint32_t insertAt = insert ? static_cast<uint32_t>(layout.dictOpen) + 2 : 0;
    bool inserted = !insert;
    for (;;) {
        uint32_t stop = layout.split;
        if (nextRef < layout.references.size())
            stop = layout.references[nextRef].numberStart;
        if (!inserted && insertAt <= stop) {
            out.append(t + pos, insertAt - pos);
            out.append(insertion);
            pos = insertAt;
            inserted = true;
            continue;
        }
        out.append(t + pos, stop - pos);
        pos = stop;
        if (nextRef >= layout.references.size())
            break;
        const Reference& ref = layout.references[nextRef++];
        Target target{-1};
        if (ref.number >= 0) {
            if constexpr (std::is_same_v<decltype(mapNumber(ref.number)), Target>)
                target = mapNumber(ref.number);
            else
                target.number = mapNumber(ref.number);
        }
        if (target.number < 0) {
            out.append(t + ref.numberStart, ref.numberEnd - ref.numberStart);  // kept as written
            pos = ref.numberEnd;
            continue;
        }
        AppendNumber(out, target.number);
        pos = ref.numberEnd;
        if (target.generation >= 0) {
            out.append(t + pos, ref.generationStart - pos);
            AppendNumber(out, target.generation);
            pos = ref.generationEnd;
        }
    }
    out.append(t + pos, length - pos);
}

}  // namespace objecttext
