#include "copy/CPdfFingerprintIndex.h"

#include <algorithm>
#include <tuple>

namespace {

bool Less(const CPdfFingerprintIndex::Item& a, const CPdfFingerprintIndex::Item& b)
{
    return std::tie(a.key, a.part, a.number) < std::tie(b.key, b.part, b.number);
}

}  // namespace

void CPdfFingerprintIndex::Add(int32_t part, int32_t number, const fingerprint::Key& key)
{
    m_items.push_back({key.hash, 0, part, number});
}

void CPdfFingerprintIndex::Commit()
{
    // The new input's items sorted, then merged with the rest: linear in
    // what is already there, however many inputs follow.
    const auto middle = m_items.begin() + static_cast<std::ptrdiff_t>(m_committed);
    std::sort(middle, m_items.end(), Less);
    std::inplace_merge(m_items.begin(), middle, m_items.end(), Less);
    m_committed = m_items.size();
}

std::pair<CPdfFingerprintIndex::Item*, CPdfFingerprintIndex::Item*>
CPdfFingerprintIndex::Find(const fingerprint::Key& key)
{
    Item* begin = m_items.data();
    Item* end = begin + m_committed;
    Item* first = std::lower_bound(begin, end, key.hash, [](const Item& item, uint64_t k) { return item.key < k; });
    Item* last = std::upper_bound(first, end, key.hash, [](uint64_t k, const Item& item) { return k < item.key; });
    return {first, last};
}
