// Duplicate sharing for the compact switch: an object of the second
// document is left out when its text equals an object of the first document
// and every object it refers to is shared with the first document's object
// of the same number, so that the first document's text names the same
// objects. The examination is a depth-first walk over references with an
// explicit stack; a failure is remembered per allow-pages level; an object
// that relies on an object still being examined (a cycle) stays provisional
// until that object is settled.
#include <algorithm>
#include <cstring>

#include "append/CPdfFileAppend.h"
#include "append/PdfByteSearch.h"
#include "append/PdfObjectText.h"
#include "object/CPdfDictionary.h"
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

void CPdfFileAppend::BuildDuplicateMap()
{
    const size_t t2 = m_entries2->size();
    m_duplicates.resize(t2);
    for (size_t i = 0; i < t2; ++i)
        m_duplicates[i] = {static_cast<int32_t>(i), 0};
    m_matcher = std::make_unique<MatchState>();
    m_matcher->failed[0].assign(t2, 0);
    m_matcher->failed[1].assign(t2, 0);
    m_matcher->inProgress.assign(t2, 0);
    // The first document's fingerprints, indexed: every number with a given
    // fingerprint, smallest first, so the first that really equals wins.
    for (size_t t = 1; t < m_fingerprints.size(); ++t) {
        const fingerprint::Fingerprint& f = m_fingerprints[t];
        if (f.count != 0 || f.checksum != 0)
            m_matcher->index[KeyOf(f)].push_back(static_cast<int32_t>(t));
    }
    for (size_t j = 1; j < t2; ++j) {
        if ((*m_entries2)[j].type != 0 && !m_duplicates[j].matched)
            MatchObject(static_cast<int32_t>(j), false);
    }
    // The second root node's indirect /Count object is always written.
    CPdfObject root, count;
    FetchNode(*m_xref2, m_pages2, root);
    if (root.GetKind() == OBJ_DICTIONARY) {
        root.GetDictionary()->LookupRaw("Count", count);
        if (count.GetKind() == OBJ_REFERENCE && count.GetRefNum() > 0 && static_cast<size_t>(count.GetRefNum()) < t2)
            m_duplicates[static_cast<size_t>(count.GetRefNum())].matched = 0;
    }
    m_matcher.reset();
}

bool CPdfFileAppend::ReadExaminedText(int32_t number, std::string& text)
{
    // The bytes after "obj" and one line-end byte, through "endobj" and the
    // byte after it: where the first document's fingerprints start too.
    CPdfRawObject raw;
    if (!m_reader2->ReadRawObject(number, raw, false) || raw.IsEmpty())
        return false;
    const uint32_t o = bytesearch::FindPattern(raw.GetHead(), 0, raw.GetHeadLength(), "obj", 3);
    if (o == 0 || o + 2 > raw.GetHeadLength())
        return false;
    text.assign(reinterpret_cast<const char*>(raw.GetHead()) + o + 2, raw.GetHeadLength() - o - 2);
    return true;
}

int32_t CPdfFileAppend::FindEqualObject(const std::string& text)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    const auto it = m_matcher->index.find(KeyOf(fingerprint::Compute(bytes, length, 0)));
    if (it == m_matcher->index.end())
        return 0;
    // A 32-bit checksum can collide: confirm with the bytes themselves (the
    // same bytes, usually; else the same bytes as the fingerprint sees them).
    std::string processed;
    CPdfRawObject candidate;
    for (int32_t t : it->second) {
        if (!m_reader1->ReadRawObject(t, candidate, false))
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

bool CPdfFileAppend::BeginMatch(int32_t number, bool allowPages, std::vector<MatchFrame>& stack)
{
    MatchState& s = *m_matcher;
    const size_t t2 = m_duplicates.size();
    if (s.failed[allowPages ? 1 : 0][static_cast<size_t>(number)] || number == m_pages2)
        return false;
    MatchFrame frame;
    frame.number = number;
    frame.allowPages = allowPages;
    if (!ReadExaminedText(number, frame.text))
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
    m_duplicates[static_cast<size_t>(number)].matched = 1;  // in progress
    s.inProgress[static_cast<size_t>(number)] = 1;
    stack.push_back(std::move(frame));
    return true;
}

bool CPdfFileAppend::Fail(int32_t number, bool allowPages)
{
    MatchState& s = *m_matcher;
    m_duplicates[static_cast<size_t>(number)].matched = 0;
    // What fails with pages allowed fails without them too.
    s.failed[allowPages ? 1 : 0][static_cast<size_t>(number)] = 1;
    s.failed[0][static_cast<size_t>(number)] = 1;
    return false;
}

void CPdfFileAppend::Settle(int32_t number, bool matchedToItself)
{
    // Objects that relied on `number` while it was being examined.
    MatchState& s = *m_matcher;
    const auto it = s.dependents.find(number);
    if (it == s.dependents.end())
        return;
    const std::vector<int32_t> dependents = std::move(it->second);
    s.dependents.erase(it);
    for (int32_t p : dependents) {
        const auto deps = s.provisional.find(p);
        if (deps == s.provisional.end())
            continue;  // already settled or rolled back
        if (!matchedToItself) {
            const bool allow = deps->second.allowPages;
            s.provisional.erase(deps);
            Fail(p, allow);
            continue;
        }
        auto& list = deps->second.on;
        list.erase(std::remove(list.begin(), list.end(), number), list.end());
        if (list.empty())
            s.provisional.erase(deps);
    }
}

bool CPdfFileAppend::MatchObject(int32_t number, bool allowPages)
{
    MatchState& s = *m_matcher;
    if (m_duplicates[static_cast<size_t>(number)].matched)
        return true;
    std::vector<MatchFrame> stack;
    if (!BeginMatch(number, allowPages, stack))
        return false;
    bool childDone = false;
    bool childResult = false;
    int32_t child = 0;
    bool result = false;
    while (!stack.empty()) {
        const size_t depth = stack.size();
        MatchFrame* f = &stack.back();
        bool failed = false;
        if (childDone) {
            childDone = false;
            // A referenced object counts only when it is shared with the
            // first document's object of the same number.
            if (!childResult || m_duplicates[static_cast<size_t>(child)].target != child) {
                failed = true;
            } else {
                const auto p = s.provisional.find(child);
                if (p != s.provisional.end())
                    for (int32_t d : p->second.on)
                        f->dependsOn.push_back(d);
            }
        }
        while (!failed && f->next < f->references.size()) {
            const int32_t m = f->references[f->next++];
            const DuplicateEntry& d = m_duplicates[static_cast<size_t>(m)];
            if (s.inProgress[static_cast<size_t>(m)]) {
                f->dependsOn.push_back(m);  // a cycle: decided when m is
                continue;
            }
            if (d.matched) {
                if (d.target != m) {
                    failed = true;
                    break;
                }
                const auto p = s.provisional.find(m);
                if (p != s.provisional.end())
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
        s.inProgress[static_cast<size_t>(a)] = 0;
        bool success = false;
        int32_t target = 0;
        if (!failed) {
            target = FindEqualObject(f->text);
            const bool reliesOnItself = std::find(f->dependsOn.begin(), f->dependsOn.end(), a) != f->dependsOn.end();
            success = target != 0 && (!reliesOnItself || target == a);
        }
        std::vector<int32_t> dependsOn;
        if (success) {
            m_duplicates[static_cast<size_t>(a)] = {target, 1};
            for (int32_t d : f->dependsOn)
                if (d != a && s.inProgress[static_cast<size_t>(d)] &&
                    std::find(dependsOn.begin(), dependsOn.end(), d) == dependsOn.end())
                    dependsOn.push_back(d);
        } else {
            Fail(a, allow);
        }
        stack.pop_back();
        Settle(a, success && target == a);
        if (success && !dependsOn.empty()) {
            for (int32_t d : dependsOn)
                s.dependents[d].push_back(a);
            s.provisional[a] = Provisional{std::move(dependsOn), allow};
        }
        childDone = true;
        childResult = success && m_duplicates[static_cast<size_t>(a)].matched;
        child = a;
        result = childResult;
    }
    return result && m_duplicates[static_cast<size_t>(number)].matched;
}
