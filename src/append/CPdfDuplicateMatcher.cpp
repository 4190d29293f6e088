#include "append/CPdfDuplicateMatcher.h"

#include <algorithm>
#include <cstring>

#include "append/CPdfRawObject.h"
#include "append/CPdfRawReader.h"
#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "main/PdfFileFormat.h"

namespace {

uint64_t KeyOf(const fingerprint::Fingerprint& f)
{
    return (static_cast<uint64_t>(f.count) << 32) | f.checksum;
}

bool Contains(const std::string& text, const char* pattern, uint32_t length)
{
    return bytesearch::FindPattern(reinterpret_cast<const uint8_t*>(text.data()), 0,
                                   static_cast<uint32_t>(text.size()), pattern, length) != 0;
}

}  // namespace

CPdfDuplicateMatcher::CPdfDuplicateMatcher(CPdfRawReader& earlier, CPdfRawReader& later, size_t laterSize,
                                           const std::vector<fingerprint::Fingerprint>& fingerprints)
    : m_earlier(earlier), m_later(later), m_fingerprints(fingerprints)
{
    m_map.resize(laterSize);
    for (size_t i = 0; i < laterSize; ++i)
        m_map[i] = {static_cast<int32_t>(i), 0};
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
    // The earlier document's fingerprints, indexed: every number with a
    // given fingerprint, smallest first, so the first that really equals wins.
    for (size_t t = 1; t < m_fingerprints.size(); ++t) {
        const fingerprint::Fingerprint& f = m_fingerprints[t];
        if (f.count != 0 || f.checksum != 0)
            m_index[KeyOf(f)].push_back(static_cast<int32_t>(t));
    }
    for (size_t j = 1; j < t2 && j < entries.size(); ++j) {
        if (entries[j].type != 0 && !m_map[j].matched)
            MatchObject(static_cast<int32_t>(j), false);
    }
    if (alwaysCopied > 0 && static_cast<size_t>(alwaysCopied) < t2)
        m_map[static_cast<size_t>(alwaysCopied)].matched = 0;
    m_index.clear();
    m_failed[0].clear();
    m_failed[1].clear();
    m_inProgress.clear();
    m_provisional.clear();
    m_dependents.clear();
    m_mayShare = nullptr;
}

bool CPdfDuplicateMatcher::ReadExaminedText(int32_t number, std::string& text)
{
    // The bytes after "obj" and one line-end byte, through "endobj" and the
    // byte after it: where the first document's fingerprints start too.
    CPdfRawObject raw;
    if (!m_later.ReadRawObject(number, raw, false) || raw.IsEmpty())
        return false;
    const uint32_t o = bytesearch::FindPattern(raw.GetHead(), 0, raw.GetHeadLength(), "obj", 3);
    if (o == 0 || o + 2 > raw.GetHeadLength())
        return false;
    text.assign(reinterpret_cast<const char*>(raw.GetHead()) + o + 2, raw.GetHeadLength() - o - 2);
    return true;
}

int32_t CPdfDuplicateMatcher::FindEqualObject(const std::string& text)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    const auto it = m_index.find(KeyOf(fingerprint::Compute(bytes, length, 0)));
    if (it == m_index.end())
        return 0;
    // A 32-bit checksum can collide: confirm with the bytes themselves (the
    // same bytes, usually; else the same bytes as the fingerprint sees them).
    std::string processed;
    CPdfRawObject candidate;
    for (int32_t t : it->second) {
        if (!m_earlier.ReadRawObject(t, candidate, false))
            continue;
        const uint32_t start = static_cast<uint32_t>(pdfformat::CountDigits(t)) + 7;
        if (start > candidate.GetHeadLength())
            continue;
        const uint32_t candidateLength = candidate.GetHeadLength() - start;
        if (candidateLength == length && std::memcmp(candidate.GetHead() + start, bytes, length) == 0)
            return t;
        if (processed.empty())
            processed = fingerprint::ProcessedBytes(bytes, length, 0);
        if (fingerprint::ProcessedBytes(candidate.GetHead(), candidate.GetHeadLength(), start) == processed)
            return t;
    }
    return 0;
}

bool CPdfDuplicateMatcher::BeginMatch(int32_t number, bool allowPages, std::vector<Frame>& stack)
{
    const size_t t2 = m_map.size();
    if (m_failed[allowPages ? 1 : 0][static_cast<size_t>(number)] || number == m_pageTree)
        return false;
    Frame frame;
    frame.number = number;
    frame.allowPages = allowPages;
    if (!ReadExaminedText(number, frame.text) || !(*m_mayShare)(number, frame.text))
        return Fail(number, allowPages);
    // Pages, page-tree nodes, object streams and anything with a /Parent
    // are shared only when reached from an annotation.
    if (!allowPages && (Contains(frame.text, "/Page", 5) || Contains(frame.text, "/ObjStm", 7) ||
                        Contains(frame.text, "/Parent", 7)))
        return Fail(number, allowPages);
    objecttext::Layout layout;
    objecttext::Scan(reinterpret_cast<const uint8_t*>(frame.text.data()), static_cast<uint32_t>(frame.text.size()),
                     layout);
    for (const objecttext::Reference& ref : layout.references) {
        // A reference to object 0 or beyond the table names nothing the first
        // document's copy could stand for.
        if (ref.number <= 0 || static_cast<size_t>(ref.number) >= t2)
            return Fail(number, allowPages);
        frame.references.push_back(static_cast<int32_t>(ref.number));
    }
    frame.allowReferences = Contains(frame.text, "Annot", 5);
    m_map[static_cast<size_t>(number)].matched = 1;  // in progress
    m_inProgress[static_cast<size_t>(number)] = 1;
    stack.push_back(std::move(frame));
    return true;
}

bool CPdfDuplicateMatcher::Fail(int32_t number, bool allowPages)
{
    m_map[static_cast<size_t>(number)].matched = 0;
    // What fails with pages allowed fails without them too.
    m_failed[allowPages ? 1 : 0][static_cast<size_t>(number)] = 1;
    m_failed[0][static_cast<size_t>(number)] = 1;
    return false;
}

void CPdfDuplicateMatcher::Settle(int32_t number, bool matchedToItself)
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
        if (!matchedToItself) {
            const bool allow = deps->second.allowPages;
            m_provisional.erase(deps);
            Fail(p, allow);
            continue;
        }
        auto& list = deps->second.on;
        list.erase(std::remove(list.begin(), list.end(), number), list.end());
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
            // first document's object of the same number.
            if (!childResult || m_map[static_cast<size_t>(child)].target != child) {
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
                if (d.target != m) {
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
        int32_t target = 0;
        if (!failed) {
            target = FindEqualObject(f->text);
            const bool reliesOnItself = std::find(f->dependsOn.begin(), f->dependsOn.end(), a) != f->dependsOn.end();
            success = target != 0 && (!reliesOnItself || target == a);
        }
        std::vector<int32_t> dependsOn;
        if (success) {
            m_map[static_cast<size_t>(a)] = {target, 1};
            for (int32_t d : f->dependsOn)
                if (d != a && m_inProgress[static_cast<size_t>(d)] &&
                    std::find(dependsOn.begin(), dependsOn.end(), d) == dependsOn.end())
                    dependsOn.push_back(d);
        } else {
            Fail(a, allow);
        }
        stack.pop_back();
        Settle(a, success && target == a);
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
