#include "copy/CPdfDuplicateMatcher.h"

#include <algorithm>
#include <cstring>

#include "copy/CPdfRawObject.h"
#include "copy/CPdfRawReader.h"
#include "base/PdfByteSearch.h"
#include "text/PdfObjectText.h"
#include "base/PdfFileFormat.h"

namespace {

bool Contains(std::string_view text, const char* pattern, uint32_t length)
{
    return bytesearch::FindPattern(reinterpret_cast<const uint8_t*>(text.data()), 0,
                                   static_cast<uint32_t>(text.size()), pattern, length) != 0;
}

// Contains "/Page", "/ObjStm" or "/Parent": one pass over the text (stream
// data included) for the three words at once.
bool HoldsTreeWord(std::string_view text)
{
    const char* p = text.data();
    const char* end = p + text.size();
    while ((p = static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(end - p)))) != nullptr) {
        const size_t left = static_cast<size_t>(end - p);
        if ((left >= 5 && std::memcmp(p, "/Page", 5) == 0) || (left >= 7 && std::memcmp(p, "/ObjStm", 7) == 0) ||
            (left >= 7 && std::memcmp(p, "/Parent", 7) == 0))
            return true;
        ++p;
    }
    return false;
}

}  // namespace

CPdfDuplicateMatcher::CPdfDuplicateMatcher(const std::vector<CPdfRawReader*>& earlier,
                                           CPdfFingerprintIndex& index, CPdfRawReader& later,
                                           int32_t laterPart, size_t laterSize)
    : m_earlier(earlier), m_index(index), m_later(later), m_laterPart(laterPart)
{
    m_map.resize(laterSize);
    for (size_t i = 0; i < laterSize; ++i)
        m_map[i] = {static_cast<int32_t>(i), laterPart, 0};
}

void CPdfDuplicateMatcher::Build(const std::vector<XRefEntry>& entries, int32_t pageTree, int32_t alwaysCopied,
                                 const Filter& mayShare)
{
    const size_t t2 = m_map.size();
    m_mayShare = &mayShare;
    m_pageTree = pageTree;
    m_failed[0].assign(t2, 0);
    m_failed[1].assign(t2, 0);
    m_inProgress.assign(t2, 0);
    if (!m_index.IsEmpty()) {
        for (size_t j = 1; j < t2 && j < entries.size(); ++j) {
            if (entries[j].type != 0 && !m_map[j].matched)
                MatchObject(static_cast<int32_t>(j), false);
        }
    }
    if (alwaysCopied > 0 && static_cast<size_t>(alwaysCopied) < t2)
        m_map[static_cast<size_t>(alwaysCopied)].matched = 0;
    m_failed[0] = std::vector<uint8_t>();
    m_failed[1] = std::vector<uint8_t>();
    m_inProgress = std::vector<uint8_t>();
    m_provisional.clear();
    m_dependents.clear();
    m_mayShare = nullptr;
}

bool CPdfDuplicateMatcher::Agree(int32_t& part, int32_t with)
{
    if (part < 0)
        part = with;
    return part == with;
}

bool CPdfDuplicateMatcher::ReadExaminedText(int32_t number, Frame& frame)
{
    // Where the first document's fingerprints start too: after the header.
    CPdfRawObject raw;
    if (!m_later.ReadRawObject(number, raw, false) || raw.IsEmpty())
        return false;
    const uint32_t start = fingerprint::TextStart(raw.GetHead(), raw.GetHeadLength());
    if (start >= raw.GetHeadLength())
        return false;
    // Kept as read: a copy of an image's text would cost as much as reading it.
    frame.bytes = std::move(raw.Head());
    frame.textStart = start;
    return true;
}

bool CPdfDuplicateMatcher::FindEqualObject(std::string_view text, const objecttext::Layout& layout,
                                           const fingerprint::Key& key, int32_t part, int32_t& targetPart,
                                           int32_t& target)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    const auto [first, last] = m_index.Find(key);
    if (first == last)
        return false;
    // Candidates of the same key are told apart by their fingerprints, each
    // learnt once; a hash can collide, so the bytes themselves confirm (the
    // same bytes, usually; else the same bytes as the fingerprint sees them).
    const fingerprint::Fingerprint print = fingerprint::Compute(bytes, length, layout);
    std::string processed;
    CPdfRawObject candidate;
    for (CPdfFingerprintIndex::Item* item = first; item != last; ++item) {
        if ((part >= 0 && item->part != part) || !item->MayBe(print))
            continue;
        const int32_t t = item->number;
        if (!m_earlier[static_cast<size_t>(item->part)]->ReadRawObject(t, candidate, false))
            continue;
        const uint32_t start = fingerprint::TextStart(candidate.GetHead(), candidate.GetHeadLength());
        if (start >= candidate.GetHeadLength())
            continue;
        if (!item->KnowsFull()) {
            item->SetFull(fingerprint::Compute(candidate.GetHead(), candidate.GetHeadLength(), start));
            if (!item->MayBe(print))
                continue;
        }
        const uint32_t candidateLength = candidate.GetHeadLength() - start;
        bool equal = candidateLength == length && std::memcmp(candidate.GetHead() + start, bytes, length) == 0;
        if (!equal) {
            if (processed.empty())
                processed = fingerprint::ProcessedBytes(bytes, length, 0);
            equal = fingerprint::ProcessedBytes(candidate.GetHead(), candidate.GetHeadLength(), start) == processed;
        }
        if (equal) {
            targetPart = item->part;
            target = t;
            return true;
        }
    }
    return false;
}

bool CPdfDuplicateMatcher::BeginMatch(int32_t number, bool allowPages, std::vector<Frame>& stack)
{
    const size_t t2 = m_map.size();
    if (m_failed[allowPages ? 1 : 0][static_cast<size_t>(number)] || number == m_pageTree)
        return false;
    Frame frame;
    frame.number = number;
    frame.allowPages = allowPages;
    if (!ReadExaminedText(number, frame))
        return Fail(number, allowPages);
    const std::string_view text = frame.Text();
    // Most objects have no twin at all. One whose references are examined
    // as the top level would examine them (no annotation in it) fails here
    // without its references walked: they are examined in their own turn,
    // with the same outcome.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    objecttext::Scan(bytes, length, frame.layout);
    frame.key = fingerprint::ComputeKey(bytes, length, frame.layout);
    frame.allowReferences = Contains(text, "Annot", 5);
    if (!frame.allowReferences) {
        const auto [first, last] = m_index.Find(frame.key);
        if (first == last)
            return Fail(number, allowPages);
    }
    if (!(*m_mayShare)(number, text))
        return Fail(number, allowPages);
    // Pages, page-tree nodes, object streams and anything with a /Parent
    // are shared only when reached from an annotation.
    if (!allowPages && HoldsTreeWord(text))
        return Fail(number, allowPages);
    for (const objecttext::Reference& ref : frame.layout.references) {
        // A reference to object 0 or beyond the table names nothing the first
        // document's copy could stand for.
        if (ref.number <= 0 || static_cast<size_t>(ref.number) >= t2)
            return Fail(number, allowPages);
        frame.references.push_back(static_cast<int32_t>(ref.number));
    }
    m_map[static_cast<size_t>(number)].matched = 1;  // in progress
    m_inProgress[static_cast<size_t>(number)] = 1;
    stack.push_back(std::move(frame));
    return true;
}

bool CPdfDuplicateMatcher::Fail(int32_t number, bool allowPages)
{
    // Written as itself, and references to it stay with it (a rolled-back
    // match must not leave them pointing at the object it had matched).
    m_map[static_cast<size_t>(number)] = {number, m_laterPart, 0};
    // What fails with pages allowed fails without them too.
    m_failed[allowPages ? 1 : 0][static_cast<size_t>(number)] = 1;
    m_failed[0][static_cast<size_t>(number)] = 1;
    return false;
}

void CPdfDuplicateMatcher::Settle(int32_t number, bool matchedToItself, int32_t part,
                                  const std::vector<int32_t>& stillOn)
{
    // Objects that relied on `number` while it was being examined.
    const auto it = m_dependents.find(number);
    if (it == m_dependents.end())
        return;
    const std::vector<int32_t> dependents = std::move(it->second);
    m_dependents.erase(it);
    for (int32_t p : dependents) {
        const auto deps = m_provisional.find(p);
        if (deps == m_provisional.end())
            continue;  // already settled or rolled back
        // It had to end up shared with its own number, in the input the
        // object relying on it is shared with.
        if (!matchedToItself || m_map[static_cast<size_t>(p)].part != part) {
            const bool allow = deps->second.allowPages;
            m_provisional.erase(deps);
            Fail(p, allow);
            continue;
        }
        auto& list = deps->second.on;
        list.erase(std::remove(list.begin(), list.end(), number), list.end());
        // What `number` still waits for, p waits for too: p may only be
        // shared if those end up shared.
        for (int32_t d : stillOn) {
            if (d == p || std::find(list.begin(), list.end(), d) != list.end())
                continue;
            list.push_back(d);
            m_dependents[d].push_back(p);
        }
        if (list.empty())
            m_provisional.erase(deps);
    }
}

bool CPdfDuplicateMatcher::MatchObject(int32_t number, bool allowPages)
{
    if (m_map[static_cast<size_t>(number)].matched)
        return true;
    std::vector<Frame> stack;
    if (!BeginMatch(number, allowPages, stack))
        return false;
    bool childDone = false;
    bool childResult = false;
    int32_t child = 0;
    bool result = false;
    while (!stack.empty()) {
        const size_t depth = stack.size();
        Frame* f = &stack.back();
        bool failed = false;
        if (childDone) {
            childDone = false;
            // A referenced object counts only when it is shared with the
            // object of the same number, in the input the others are.
            const Entry& c = m_map[static_cast<size_t>(child)];
            if (!childResult || c.target != child || !Agree(f->part, c.part)) {
                failed = true;
            } else {
                const auto p = m_provisional.find(child);
                if (p != m_provisional.end())
                    for (int32_t d : p->second.on)
                        f->dependsOn.push_back(d);
            }
        }
        while (!failed && f->next < f->references.size()) {
            const int32_t m = f->references[f->next++];
            const Entry& d = m_map[static_cast<size_t>(m)];
            if (m_inProgress[static_cast<size_t>(m)]) {
                f->dependsOn.push_back(m);  // a cycle: decided when m is
                continue;
            }
            if (d.matched) {
                if (d.target != m || !Agree(f->part, d.part)) {
                    failed = true;
                    break;
                }
                const auto p = m_provisional.find(m);
                if (p != m_provisional.end())
                    for (int32_t dep : p->second.on)
                        f->dependsOn.push_back(dep);
                continue;
            }
            if (BeginMatch(m, f->allowReferences, stack))
                break;  // examine m first (the push may have moved f)
            failed = true;
            break;
        }
        if (stack.size() > depth)
            continue;
        // Every reference is settled, or one failed: finish f.
        const int32_t a = f->number;
        const bool allow = f->allowPages;
        m_inProgress[static_cast<size_t>(a)] = 0;
        bool success = false;
        int32_t target = 0, targetPart = -1;
        if (!failed && FindEqualObject(f->Text(), f->layout, f->key, f->part, targetPart, target)) {
            const bool reliesOnItself = std::find(f->dependsOn.begin(), f->dependsOn.end(), a) != f->dependsOn.end();
            success = !reliesOnItself || target == a;
        }
        std::vector<int32_t> dependsOn;
        if (success) {
            m_map[static_cast<size_t>(a)] = {target, targetPart, 1};
            for (int32_t d : f->dependsOn)
                if (d != a && m_inProgress[static_cast<size_t>(d)] &&
                    std::find(dependsOn.begin(), dependsOn.end(), d) == dependsOn.end())
                    dependsOn.push_back(d);
        } else {
            Fail(a, allow);
        }
        stack.pop_back();
        Settle(a, success && target == a, targetPart, dependsOn);
        if (success && !dependsOn.empty()) {
            for (int32_t d : dependsOn)
                m_dependents[d].push_back(a);
            m_provisional[a] = Provisional{std::move(dependsOn), allow};
        }
        childDone = true;
        childResult = success && m_map[static_cast<size_t>(a)].matched;
        child = a;
        result = childResult;
    }
    return result && m_map[static_cast<size_t>(number)].matched;
}
