#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "copy/PdfFingerprint.h"

// The objects written so far that a later object may stand in for under /s,
// by key: (input, number) pairs, each input's added as it is copied. A
// sorted array rather than a hash map: 24 bytes an object, and looking up
// gives the candidates earliest input first, then smallest number, so the
// first that really equals wins. An item learns its object's full
// fingerprint when a later object first meets it, so that each object is
// read whole at most once to be told apart from the others of its key.
class CPdfFingerprintIndex {
public:
    struct Item {
        uint64_t key;   // the key's hash
        uint64_t full;  // the fingerprint's hash once known (never 0), else 0
        int32_t part;
        int32_t number;

        bool KnowsFull() const { return full != 0; }
        // Whether the fingerprint may be f's: true while it is not known.
        bool MayBe(const fingerprint::Fingerprint& f) const { return full == 0 || full == Stored(f); }
        void SetFull(const fingerprint::Fingerprint& f) { full = Stored(f); }

    private:
        // 0 stands for "not known": a hash of 0 is kept as 1, which only
        // costs a comparison of the bytes that a collision would cost anyway.
        static uint64_t Stored(const fingerprint::Fingerprint& f) { return f.hash == 0 ? 1 : f.hash; }
    };

    // Makes room for count more items.
    void Reserve(size_t count) { m_items.reserve(m_items.size() + count); }
    // Adds an object of the input being copied; Commit makes it findable.
    void Add(int32_t part, int32_t number, const fingerprint::Key& key);
    void Commit();
    bool IsEmpty() const { return m_items.empty(); }

    // The candidates with this key, as [first, last).
    std::pair<Item*, Item*> Find(const fingerprint::Key& key);

private:
    std::vector<Item> m_items;
    size_t m_committed = 0;
};
