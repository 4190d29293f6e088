#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Reading the raw text of one indirect object ("N G obj ... endobj") as
// tokens, without building values: where its header number is, where its
// references' numbers are, and where its stream data begins. Strings,
// names and comments are skipped as wholes, so bytes inside them never pass
// for a reference or for the "stream" keyword.
namespace objecttext {

struct Reference {
    uint32_t numberStart;  // first digit of the referenced object number
    uint32_t numberEnd;    // one past its last digit
    int64_t number;        // its value; -1 when it does not fit in 32 bits
    int64_t generation;
    uint32_t generationStart;  // its digits
    uint32_t generationEnd;
};

// Where a reference is to point: a number, and a generation to write in
// place of the one written (-1 keeps it).
struct Target {
    int64_t number;
    int64_t generation = -1;
};

struct Layout {
    bool hasHeader = false;  // the text starts with "N G obj"
    uint32_t numberStart = 0;
    uint32_t numberEnd = 0;
    int64_t number = -1;
    int32_t generation = 0;
    int64_t dictOpen = -1;    // index of the first "<<" after the header
    bool isStream = false;    // the keyword "stream" follows the object's value
    uint32_t split = 0;       // one past "stream", or the text's length
    // Where the keyword "endobj" that ends the object begins, -1 when the
    // text has none before "stream" (a stream, or a text cut short). Found
    // as a token: the bytes of a string or a comment never end an object.
    int64_t endobj = -1;
    // An array or dictionary was still open at that "stream" or "endobj",
    // or one was closed that never opened: the text is damaged, and readers
    // each read it their own way.
    bool unbalanced = false;
    // The value of the object's own /Length when it is written directly as
    // an integer, else -1 (absent, indirect, or not found by this scan).
    int64_t directLength = -1;
    // When /Length is a reference instead ("/Length 12 0 R"): its object
    // number and generation, else -1.
    int64_t lengthNumber = -1;
    int64_t lengthGeneration = -1;
    std::vector<Reference> references;  // after the header, before split
};

// Scans the object's text as tokens up to "stream" or "endobj".
void Scan(const uint8_t* text, uint32_t length, Layout& out);

// The value of an object whose text is "N G obj", one unsigned integer and
// "endobj" followed by at least one byte (as producers write a stream's
// indirect /Length), for object `number`, generation `generation`; -1 for
// any other text.
int64_t IntegerObjectValue(const uint8_t* text, uint32_t length, int64_t number, int64_t generation);

// Where the data of a stream begins: after the rest of the line that holds
// the keyword "stream" (LF, CR, or CR LF), given split = one past the keyword.
// Returns length when the line does not end within the text.
uint32_t DataStart(const uint8_t* text, uint32_t length, uint32_t split);

// How many of the last bytes of text[0..length) are the line end that comes
// before "endstream" and is not data: 1 for LF or CR, 2 for CR LF, else 0.
uint32_t LineEndLength(const uint8_t* text, uint32_t length);

// True when the first token at text[0..length) is the keyword "endstream"
// (white space and comments before it are skipped), as a reader checks after
// a stream's data. False also when the text ends before a whole token.
bool StartsWithEndstream(const uint8_t* text, uint32_t length);

// Copies text[0 .. split) with the header number replaced by newNumber and
// each reference's number replaced by mapNumber(number); then the rest of
// the text unchanged. mapNumber returns the number to write (or a Target,
// which may also replace the generation), or a negative number to keep the
// reference as written.
template <typename MapNumber>
void Renumber(const uint8_t* text, uint32_t length, const Layout& layout, int64_t newNumber, MapNumber mapNumber,
              std::string& out);

// Copies text[0 .. end) with every string replaced by transform(its value)
// in hexadecimal form, then text[end .. length) unchanged.
void RewriteStrings(const uint8_t* text, uint32_t length, uint32_t end,
                    const std::function<std::string(const std::string&)>& transform, std::string& out);

// Appends the decimal digits of value.
void AppendNumber(std::string& out, int64_t value);

}  // namespace objecttext

#include "text/PdfObjectText.inl"
