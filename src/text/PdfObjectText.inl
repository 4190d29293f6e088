#pragma once

#include <type_traits>

namespace objecttext {

template <typename MapNumber>
void Renumber(const uint8_t* text, uint32_t length, const Layout& layout, int64_t newNumber, MapNumber mapNumber,
              std::string& out)
{
    out.clear();
    out.reserve(length + 16);
    const char* t = reinterpret_cast<const char*>(text);
    uint32_t pos = 0;
    if (layout.hasHeader) {
        out.append(t, layout.numberStart);
        AppendNumber(out, newNumber);
        pos = layout.numberEnd;
    }
    size_t nextRef = 0;
    for (;;) {
        uint32_t stop = layout.split;
        if (nextRef < layout.references.size())
            stop = layout.references[nextRef].numberStart;
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
