#include "copy/PdfFingerprint.h"

#include <array>
#include <cstring>
#include <vector>

// Inlined: the streaming state lives on the stack, and the hash is
// compiled with the code that calls it.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace fingerprint {

namespace {

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

struct Run {
    uint32_t begin;
    uint32_t end;
};

// The runs of processed bytes, found from the end (where a reference's
// skip is decided) and handed to visit(begin, end) first to last. Stream
// data holds few "R"s after a space, so long runs are found by memrchr.
template <typename Visit>
void ForEachRun(const uint8_t* text, uint32_t length, uint32_t start, Visit visit)
{
    // Most objects have a handful of references; beyond that the runs go
    // to the heap.
    std::array<Run, 32> inline_;
    std::vector<Run> spilled;
    size_t count = 0;
    const auto keep = [&](uint32_t begin, uint32_t end) {
        if (begin == end)
            return;
        if (count < inline_.size())
            inline_[count] = {begin, end};
        else {
            if (spilled.empty())
                spilled.assign(inline_.begin(), inline_.end());
            spilled.push_back({begin, end});
        }
        ++count;
    };
    int64_t runEnd = length;  // one past the run being grown
    int64_t searchEnd = length;  // an "R" is looked for before this
    while (searchEnd > start) {
        const void* found = memrchr(text + start, 'R', static_cast<size_t>(searchEnd - start));
        if (found == nullptr)
            break;
        const int64_t r = static_cast<const uint8_t*>(found) - text;
        if (r - 1 < start || text[r - 1] != ' ') {
            searchEnd = r;  // an ordinary "R"
            continue;
        }
        keep(static_cast<uint32_t>(r + 1), static_cast<uint32_t>(runEnd));
        int64_t k = r - 3;
        while (k >= start && IsDigit(text[k]))
            --k;
        if (k < start) {
            runEnd = start;  // nothing before the reference is processed
            break;
        }
        // text[k] stands in the R's place, whatever it is.
        runEnd = k + 1;
        searchEnd = k;
    }
    keep(start, static_cast<uint32_t>(runEnd));
    if (count > inline_.size()) {
        for (size_t i = spilled.size(); i-- > 0;)
            visit(spilled[i].begin, spilled[i].end, count);
    } else {
        for (size_t i = count; i-- > 0;)
            visit(inline_[i].begin, inline_[i].end, count);
    }
}

}  // namespace

Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start)
{
    // Nothing processed hashes as the empty text.
    Fingerprint f{XXH3_64bits(nullptr, 0)};
    if (start >= length)
        return f;
    // The streaming form hashes the concatenation as the one-shot form does;
    // a single run needs no state.
    XXH3_state_t state;
    size_t seen = 0;
    ForEachRun(text, length, start, [&](uint32_t begin, uint32_t end, size_t runs) {
        if (runs == 1) {
            f.hash = XXH3_64bits(text + begin, end - begin);
            return;
        }
        if (seen++ == 0)
            XXH3_64bits_reset(&state);
        XXH3_64bits_update(&state, text + begin, end - begin);
        if (seen == runs)
            f.hash = XXH3_64bits_digest(&state);
    });
    return f;
}

std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start)
{
    std::string out;
    if (start < length)
        ForEachRun(text, length, start, [&](uint32_t begin, uint32_t end, size_t) {
            out.append(reinterpret_cast<const char*>(text) + begin, end - begin);
        });
    return out;
}

}  // namespace fingerprint
