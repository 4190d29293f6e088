#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "copy/PdfFingerprint.h"

// The objects written so far that a later object may stand in for under /s,
// by fingerprint: (input, number) pairs, each input's added as it is copied.
// A sorted array rather than a hash map: 16 bytes an object, and looking up
// gives the candidates earliest input first, then smallest number, so the
// first that really equals wins as before.
class CPdfFingerprintIndex {
public:
    struct Item {
        uint64_t key;  // the fingerprint's hash
        int32_t part;
        int32_t number;
    };

    // Makes room for count more items.
    void Reserve(size_t count) { m_items.reserve(m_items.size() + count); }
    // Adds an object of the input being copied; Commit makes it findable.
    void Add(int32_t part, int32_t number, const fingerprint::Fingerprint& f);
    void Commit();
    bool IsEmpty() const { return m_items.empty(); }

    // The candidates with f's fingerprint, as [first, last).
    std::pair<const Item*, const Item*> Find(const fingerprint::Fingerprint& f) const;

private:
    static uint64_t KeyOf(const fingerprint::Fingerprint& f) { return f.hash; }

    std::vector<Item> m_items;
    size_t m_committed = 0;
};
