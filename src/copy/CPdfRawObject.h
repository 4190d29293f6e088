#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "text/PdfObjectText.h"
#include "base/CPdfDecryptor.h"

class CPdfInputFile;

// The bytes of one indirect object as it is copied: "N G obj", its value,
// "endobj" and one byte more. A large stream object keeps only the part up
// to its data in memory; the rest stays in the input file until it is
// written (or materialised), so memory does not grow with an object's size.
// The tail of an encrypted document's stream begins with encrypted data,
// which is decrypted on its way to the output.
class CPdfRawObject {
public:
    CPdfRawObject() = default;
    CPdfRawObject(const CPdfRawObject&) = delete;
    CPdfRawObject& operator=(const CPdfRawObject&) = delete;
    CPdfRawObject(CPdfRawObject&&) = default;
    CPdfRawObject& operator=(CPdfRawObject&&) = default;

    void Release();
    bool IsEmpty() const { return GetLength() == 0; }
    // What is written: the head, then the tail (decrypted, when it needs it).
    size_t GetLength() const
    {
        return m_head.size() + static_cast<size_t>(m_tailLength + (m_decryptor ? m_plainLength - m_dataLength : 0));
    }

    // The bytes held in memory: the whole object unless it has a tail.
    const uint8_t* GetHead() const { return reinterpret_cast<const uint8_t*>(m_head.data()); }
    uint32_t GetHeadLength() const { return static_cast<uint32_t>(m_head.size()); }
    std::string& Head() { return m_head; }
    bool HasTail() const { return m_tailLength > 0; }

    void SetTail(CPdfInputFile* file, int64_t position, int64_t length);
    // The head and the tail are exactly the bytes of file
    // from position on: the object can be copied file to file. Any change
    // to the head must come with ClearSource.
    void SetSource(CPdfInputFile* file, int64_t position);
    void ClearSource() { m_sourcePosition = -1; }
    // -1 when the text is not the file's bytes as they stand (a member of
    // an object stream, a decrypted object, a line end added).
    int64_t GetSourcePosition() const { return m_sourcePosition; }
    CPdfInputFile* GetSourceFile() const { return m_sourceFile; }
    // The first dataLength bytes of the tail are encrypted stream data that
    // decryptor turns into plainLength bytes; the rest is copied as it is.
    void SetTailDecryption(const CPdfDecryptor& decryptor, int64_t dataLength, int64_t plainLength);
    const CPdfDecryptor* GetTailDecryptor() const { return m_decryptor ? &*m_decryptor : nullptr; }
    int64_t GetTailDataLength() const { return m_dataLength; }
    int64_t GetTailPlainLength() const { return m_plainLength; }

    // The token layout of the head (header, references, "stream" split).
    const objecttext::Layout& GetLayout() const { return m_layout; }
    objecttext::Layout& Layout() { return m_layout; }
    // Reads the tail into memory (decrypted); false when the file gives
    // fewer bytes.
    bool Materialize();
    CPdfInputFile* GetTailFile() const { return m_file; }
    int64_t GetTailPosition() const { return m_tailPosition; }
    int64_t GetTailLength() const { return m_tailLength; }

private:
    std::string m_head;
    objecttext::Layout m_layout;
    CPdfInputFile* m_file = nullptr;
    int64_t m_tailPosition = 0;
    int64_t m_tailLength = 0;
    std::optional<CPdfDecryptor> m_decryptor;
    int64_t m_dataLength = 0;
    int64_t m_plainLength = 0;
    CPdfInputFile* m_sourceFile = nullptr;
    int64_t m_sourcePosition = -1;
};

