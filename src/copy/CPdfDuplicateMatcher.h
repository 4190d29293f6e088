#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "copy/CPdfFingerprintIndex.h"
#include "copy/PdfFingerprint.h"
#include "base/PdfFileFormat.h"

class CPdfRawReader;

// The compact mode's sharing decision: which objects of a later input equal
// objects of earlier ones, so that they need not be written again. An object
// is shared when its text equals an earlier object's and every object it
// refers to is shared with the object of the same number in that same
// earlier input, so that the earlier text names the same objects. The examination is a
// depth-first walk over references with an explicit stack; a failure is
// remembered per allow-pages level; an object that relies on an object
// still being examined (a cycle) stays provisional until that one settles.
// Borrows both readers and the fingerprints.
class CPdfDuplicateMatcher {
public:
    struct Entry {
        int32_t target;   // the earlier object it equals
        int32_t part;     // the input that object is in (its own: none)
        int32_t matched;  // 1 when it is shared (or being examined)
    };
    // True when the later object number, with this examined text, may be
    // shared at all (the merges keep some objects their own).
    using Filter = std::function<bool(int32_t number, std::string_view text)>;

    // earlier: the readers of the inputs before (by input); index: their
    // objects that may stand in for others; later: the input examined,
    // number laterPart, with laterSize entries.
    CPdfDuplicateMatcher(const std::vector<CPdfRawReader*>& earlier, CPdfFingerprintIndex& index,
                         CPdfRawReader& later, int32_t laterPart, size_t laterSize);
    CPdfDuplicateMatcher(const CPdfDuplicateMatcher&) = delete;
    CPdfDuplicateMatcher& operator=(const CPdfDuplicateMatcher&) = delete;

    // Examines every object in use in the later document's entries. pageTree is never shared; alwaysCopied
    // (its indirect page count, say) is written even when it is equal.
    void Build(const std::vector<XRefEntry>& entries, int32_t pageTree, int32_t alwaysCopied, const Filter& mayShare);

    const std::vector<Entry>& GetMap() const { return m_map; }

private:
    struct Frame {
        int32_t number = 0;
        bool allowPages = false;
        bool allowReferences = false;
        std::string bytes;  // the object as read
        size_t textStart = 0;
        // What is examined: the bytes after "obj" and one white-space byte,
        // if there is one (an offset, as a short string moves with the frame).
        std::string_view Text() const { return std::string_view(bytes).substr(textStart); }
        objecttext::Layout layout;  // of the examined text
        fingerprint::Key key;
        std::vector<int32_t> references;
        size_t next = 0;
        std::vector<int32_t> dependsOn;  // objects in examination it relied on
        int32_t part = -1;  // the earlier input its references are shared with
    };
    struct Provisional {
        std::vector<int32_t> on;  // objects still in examination
        bool allowPages = false;
    };

    bool MatchObject(int32_t number, bool allowPages);
    bool BeginMatch(int32_t number, bool allowPages, std::vector<Frame>& stack);
    bool Fail(int32_t number, bool allowPages);
    // number is decided: the objects that relied on it fail with it, or
    // rely on what it still relies on (stillOn) instead.
    void Settle(int32_t number, bool matchedToItself, int32_t part, const std::vector<int32_t>& stillOn);
    bool ReadExaminedText(int32_t number, Frame& frame);
    // An earlier object (in input part, when part >= 0) equal to text;
    // false when there is none.
    bool FindEqualObject(std::string_view text, const objecttext::Layout& layout, const fingerprint::Key& key,
                         int32_t part, int32_t& targetPart, int32_t& target);
    // Narrows the input a frame's references agree on; false when they
    // cannot all be in one.
    static bool Agree(int32_t& part, int32_t with);

    const std::vector<CPdfRawReader*>& m_earlier;
    CPdfFingerprintIndex& m_index;
    CPdfRawReader& m_later;
    int32_t m_laterPart;
    const Filter* m_mayShare = nullptr;
    int32_t m_pageTree = 0;
    std::vector<Entry> m_map;
    std::vector<uint8_t> m_failed[2];  // per allow-pages level
    std::vector<uint8_t> m_inProgress;
    std::unordered_map<int32_t, Provisional> m_provisional;
    std::unordered_map<int32_t, std::vector<int32_t>> m_dependents;
};
