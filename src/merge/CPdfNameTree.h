#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CPdfDictionary;
class CPdfMergeOutput;
class CPdfMergePlan;
class CPdfObject;
class CPdfValueWriter;
struct CPdfMergePart;

// A name tree joined from several inputs: read from each, written anew as
// one sorted tree in leaves of kNodeSize entries with /Limits, under as many
// levels of kNodeSize kids as it needs. Entries are held as written text
// (values with references in output numbers), so large trees take little
// memory and time in proportion to their size. A number tree (the structure
// tree's parent tree) is written the same way, its keys integers.
class CPdfNameTree {
public:
    enum class EKeys { kNames, kNumbers };
    struct Entry {
        std::string key;  // a number tree's: the key's decimal digits
        std::string value;
    };
    static constexpr size_t kNodeSize = 128;

    explicit CPdfNameTree(EKeys keys = EKeys::kNames) : m_keys(keys) {}

    // Appends the entries of the tree whose root is `root` (a raw value of
    // part: a reference or a dictionary), in order, and the numbers of the
    // tree's node objects. A node met twice is read once, and no tree is
    // walked over more nodes than the input has objects.
    static void Read(const CPdfMergePart& part, const CPdfValueWriter& writer, const CPdfObject& root,
                     std::vector<Entry>& entries, std::vector<int32_t>& nodes);
    // The walk under Read, for number trees too: visits every node
    // dictionary of the tree at root (a raw value), parents before their
    // kids and kids in order, and appends the numbers of its node objects.
    static void Walk(const CPdfMergePart& part, const CPdfObject& root, std::vector<int32_t>& nodes,
                     const std::function<void(const CPdfDictionary&)>& visit);

    // Takes the entries (sorted here, numbers by value; equal keys keep
    // their order) and numbers the nodes; returns the "N 0 R" of the root.
    std::string Plan(CPdfMergePlan& plan, std::vector<Entry> entries);
    // Writes the nodes planned, and forgets them.
    void Write(CPdfMergeOutput& output);

private:
    struct Node {
        int64_t number;
        size_t first, last;  // entries [first, last) for a leaf, kids for others
        bool leaf;
    };
    void WriteKey(const std::string& key, std::string& out) const;

    EKeys m_keys;
    std::vector<Entry> m_entries;
    std::vector<std::vector<Node>> m_levels;  // leaves first, root level last
};
