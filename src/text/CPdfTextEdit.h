#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every edit of existing object text goes through here: replacing the value
// of a key, adding or removing a key, appending to an array, writing a
// reference, wrapping an object-stream member. Keys are found by the lexer,
// at the top level of the object's own dictionary only, so a key inside a
// nested dictionary or a string that reads like one is never taken for it.
// Wherever an edit puts two tokens side by side, a separator is written
// between them ("/Outlines" and "7 0 R" never become "/Outlines7").
//
// Borrows the text until Apply; only the bytes before `limit` (the end of a
// stream's "stream" keyword, or the text's length) are looked at.
class CPdfTextEdit {
public:
    CPdfTextEdit(const uint8_t* text, uint32_t length, uint32_t limit);

    // False when the object's value is not a dictionary.
    bool HasDictionary() const { return m_dictOpen >= 0; }

    // The value of key (a name token, "/Count") becomes value. A key that is
    // not there is added right after the dictionary's "<<" as CR, the key, a
    // space and the value. False when there is no dictionary.
    bool SetKey(const char* key, const std::string& value);
    // Removes the key and its value; true when it was there.
    bool RemoveKey(const char* key);
    // Writes element before the "]" of the array that is key's value (with
    // key null: the array that is the object's own value). False when there
    // is no such array.
    bool AppendToArray(const char* key, const std::string& element);
    // The byte range of key's value; false when the key is not there.
    bool FindValue(const char* key, uint32_t& start, uint32_t& end) const;

    // The edited text: the original with every edit applied in place.
    void Apply(std::string& out) const;

    // "N G R".
    static std::string Reference(int64_t number, int64_t generation);
    // Appends piece, with a space first when the last byte of out and the
    // first byte of piece would otherwise run together into one token.
    static void Join(std::string& out, const char* piece, size_t length);
    static void Join(std::string& out, const std::string& piece) { Join(out, piece.data(), piece.size()); }
    // A member of an object stream as an object of its own: "N 0 obj" CR,
    // its bytes, "endobj" CR, with a separator before "endobj" when the
    // member's last token would touch it.
    static void WrapMember(int64_t number, const uint8_t* data, uint32_t length, std::string& out);

private:
    struct Entry {
        uint32_t keyStart, keyEnd;      // the name token
        uint32_t valueStart, valueEnd;  // the whole value, "N G R" included
    };
    struct Splice {
        uint32_t start, end;  // replaced range of the original
        std::string text;
    };

    const Entry* FindEntry(const char* key) const;

    const uint8_t* m_text;
    uint32_t m_length;
    int64_t m_dictOpen = -1;   // "<<" of the object's dictionary
    int64_t m_arrayOpen = -1;  // "[" of the object's array, when it is one
    int64_t m_arrayClose = -1;
    std::vector<Entry> m_entries;
    std::vector<Splice> m_splices;
};
