#include "merge/CPdfNameTree.h"

#include <algorithm>
#include <unordered_set>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"

namespace {

bool KeyBytes(const CPdfObject& key, std::string& out)
{
    if (key.GetKind() == OBJ_STRING) {
        out = key.GetString()->GetValue();
        return true;
    }
    if (key.GetKind() == OBJ_NAME) {  // written so by some producers
        out = key.GetText();
        return true;
    }
    return false;
}

}  // namespace

void CPdfNameTree::Read(const CPdfMergePart& part, const CPdfValueWriter& writer, const CPdfObject& root,
                        std::vector<Entry>& entries, std::vector<int32_t>& nodes)
{
    Walk(part, root, nodes, [&](const CPdfDictionary& node) {
        CPdfObject pairs;
        node.Lookup("Names", pairs);
        if (pairs.GetKind() != OBJ_ARRAY)
            return;
        const CPdfArray& a = *pairs.GetArray();
        for (int32_t i = 0; i + 1 < a.GetSize(); i += 2) {
            CPdfObject key, value;
            a.Get(i, key);
            a.GetRaw(i + 1, value);
            std::string bytes;
            if (KeyBytes(key, bytes))
                entries.push_back({std::move(bytes), writer.ToText(value)});
        }
    });
}

void CPdfNameTree::Walk(const CPdfMergePart& part, const CPdfObject& root, std::vector<int32_t>& nodes,
                        const std::function<void(const CPdfDictionary&)>& visit)
{
    // Walked with a stack: trees of any depth cost no recursion. A node met
    // twice (a cycle, or a kid named twice) is read once, and no tree has
    // more nodes than the input has objects.
    std::vector<CPdfObject> stack;
    std::unordered_set<int32_t> seen;
    CPdfObject first;
    if (root.GetKind() == OBJ_REFERENCE) {
        seen.insert(root.GetRefNum());
        nodes.push_back(root.GetRefNum());
        part.Fetch(root.GetRefNum(), first);
    } else {
        first.CopyFrom(root);
    }
    if (first.GetKind() == OBJ_DICTIONARY)
        stack.push_back(std::move(first));
    size_t visited = 0;
    while (!stack.empty() && visited++ <= static_cast<size_t>(part.GetTableSize())) {
        const CPdfObject node = std::move(stack.back());
        stack.pop_back();
        visit(*node.GetDictionary());
        CPdfObject kids;
        node.GetDictionary()->Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY)
            continue;
        // Pushed in reverse, so kids are read in order.
        for (int32_t i = kids.GetArray()->GetSize() - 1; i >= 0; --i) {
            CPdfObject raw, kid;
            kids.GetArray()->GetRaw(i, raw);
            if (raw.GetKind() == OBJ_REFERENCE) {
                if (!seen.insert(raw.GetRefNum()).second)
                    continue;
                nodes.push_back(raw.GetRefNum());
            }
            kids.GetArray()->Get(i, kid);
            if (kid.GetKind() == OBJ_DICTIONARY)
                stack.push_back(std::move(kid));
        }
    }
}

std::string CPdfNameTree::Plan(CPdfMergePlan& plan, std::vector<Entry> entries)
{
    m_entries = std::move(entries);
    if (m_keys == EKeys::kNumbers) {
        // Digits without leading zeros: the shorter is the smaller.
        std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return a.key.size() != b.key.size() ? a.key.size() < b.key.size() : a.key < b.key;
        });
    } else {
        std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    }
    m_levels.clear();
    // Leaves of kNodeSize entries, then levels of kNodeSize kids, up to one
    // root; the root is numbered first.
    std::vector<Node> level;
    for (size_t i = 0; i < m_entries.size(); i += kNodeSize)
        level.push_back({0, i, std::min(i + kNodeSize, m_entries.size()), true});
    if (level.empty())
        level.push_back({0, 0, 0, true});
    m_levels.push_back(level);
    while (m_levels.back().size() > 1) {
        const std::vector<Node>& below = m_levels.back();
        std::vector<Node> up;
        for (size_t i = 0; i < below.size(); i += kNodeSize)
            up.push_back({0, i, std::min(i + kNodeSize, below.size()), false});
        m_levels.push_back(up);
    }
    for (size_t l = m_levels.size(); l-- > 0;)
        for (Node& node : m_levels[l])
            node.number = plan.NewObject();
    return CPdfTextEdit::Reference(m_levels.back().front().number, 0);
}

void CPdfNameTree::Write(CPdfMergeOutput& output)
{
    std::string body;
    for (size_t l = 0; l < m_levels.size(); ++l) {
        const bool root = l + 1 == m_levels.size();
        for (const Node& node : m_levels[l]) {
            body.clear();
            body += "<<";
            // The smallest and largest key below the node.
            size_t lo = node.first, hi = node.last;
            for (size_t down = l; down > 0; --down) {
                lo = m_levels[down - 1][lo].first;
                hi = m_levels[down - 1][hi - 1].last;
            }
            if (!root && hi > lo) {
                body += "/Limits[";
                WriteKey(m_entries[lo].key, body);
                WriteKey(m_entries[hi - 1].key, body);
                body += "]";
            }
            if (node.leaf) {
                body += m_keys == EKeys::kNumbers ? "/Nums[" : "/Names[";
                for (size_t i = node.first; i < node.last; ++i) {
                    WriteKey(m_entries[i].key, body);
                    CPdfTextEdit::Join(body, m_entries[i].value);
                }
            } else {
                body += "/Kids[";
                for (size_t i = node.first; i < node.last; ++i)
                    CPdfTextEdit::Join(body, CPdfTextEdit::Reference(m_levels[l - 1][i].number, 0));
            }
            body += "]>>";
            output.WriteNewObject(node.number, body);
        }
    }
    m_entries.clear();
    m_levels.clear();
}

void CPdfNameTree::WriteKey(const std::string& key, std::string& out) const
{
    if (m_keys == EKeys::kNumbers)
        CPdfTextEdit::Join(out, key);
    else
        CPdfValueWriter::WriteString(key, out);
}
