#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "merge/CPdfMergePart.h"
#include "text/PdfObjectText.h"

class CPdfNumbering;
class CPdfTextTransform;

// What the document-level merges decide before anything is copied: edits of
// particular objects (applied as each is copied, after renumbering), objects
// left out, objects of later inputs that must keep their own copy (never
// replaced by an equal object of an earlier input), text transforms of whole
// inputs, and the numbers of new objects written after all others. Part 0 is
// the first document; its objects keep their numbers. Numbers come from the
// numbering, which it borrows.
class CPdfMergePlan {
public:
    CPdfMergePlan(std::vector<CPdfMergePart> parts, CPdfNumbering& numbering);
    CPdfMergePlan(const CPdfMergePlan&) = delete;
    CPdfMergePlan& operator=(const CPdfMergePlan&) = delete;

    const std::vector<CPdfMergePart>& GetParts() const { return m_parts; }

    // Edits of object `number` of `part`; values are PDF text in output
    // numbering. Several edits of one object apply together.
    void SetKey(size_t part, int32_t number, const char* key, const std::string& value);
    void RemoveKey(size_t part, int32_t number, const char* key);
    // key null: the object's own array.
    void AppendToArray(size_t part, int32_t number, const char* key, const std::string& element);
    bool HasEdits(size_t part, int32_t number) const;
    // The edits of (part, number) applied to its text; false when there are
    // none (out untouched). limit: the end of a stream's "stream" keyword.
    bool ApplyEdits(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t limit,
                    std::string& out) const;

    void Drop(size_t part, int32_t number);
    bool IsDropped(size_t part, int32_t number) const;
    void KeepOwn(size_t part, int32_t number);
    bool IsKeptOwn(size_t part, int32_t number) const;

    // The output number of an object of part, and its "N G R" (the
    // generation in its own header). Objects of later parts named this way
    // keep their own copy.
    int64_t OutputNumber(size_t part, int32_t number);
    std::string OutputReference(size_t part, int32_t number);
    // The same as a mapping for CPdfValueWriter, before the copy: the first
    // document's references stay as written, a later one's objects named
    // keep their own copy, and a number outside its table names nothing.
    objecttext::Target OutputTarget(size_t part, int64_t number);

    // A number for a new object, written after all copied ones.
    int64_t NewObject();

    // Transforms run over every object of part, in the order added.
    // Borrowed: they must outlive the plan's use.
    void AddTransform(size_t part, const CPdfTextTransform* transform);
    bool HasTransforms(size_t part) const { return part < m_transforms.size() && !m_transforms[part].empty(); }
    // The text of object number of part with every transform applied; false
    // when none changed it. An object is transformed once: when nothing
    // changed it (sharing under /s asks first), it is not looked at again;
    // one that changes is rewritten wherever its text is asked for.
    bool Transform(size_t part, int32_t number, const uint8_t* text, uint32_t length, std::string& out);

private:
    struct Edit {
        enum Kind { kSet, kRemove, kAppend } kind;
        std::string key;  // empty with kAppend: the object's own array
        std::string value;
    };
    static uint64_t KeyOf(size_t part, int32_t number)
    {
        return (static_cast<uint64_t>(part) << 32) | static_cast<uint32_t>(number);
    }
    bool Flag(const std::vector<std::vector<uint8_t>>& flags, size_t part, int32_t number) const;
    void SetFlag(std::vector<std::vector<uint8_t>>& flags, size_t part, int32_t number);

    std::vector<CPdfMergePart> m_parts;
    CPdfNumbering& m_numbering;
    std::unordered_map<uint64_t, std::vector<Edit>> m_edits;
    std::vector<std::vector<uint8_t>> m_dropped;
    std::vector<std::vector<uint8_t>> m_keptOwn;
    std::vector<std::vector<const CPdfTextTransform*>> m_transforms;
    // Objects the transforms left as they were.
    std::vector<std::vector<uint8_t>> m_untransformed;
};
