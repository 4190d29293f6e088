// CPdfFileStream (windows onto one shared input file, read through a block cache
// or directly) and CPdfEmbedStream (a borrowed, limited view).
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/CPdfInputFile.h"
#include "support/ObjectTestKit.h"
#include "reader/CPdfEmbedStream.h"
#include "reader/CPdfFileStream.h"
#include "object/CPdfStreamRef.h"
#include "support/PdfBuilder.h"

class CPdfFileStreamTest : public ::testing::Test {
protected:
    static constexpr int32_t kSize = 140000;  // more than two cache blocks
    CPdfStreamRef Window(int32_t start, int32_t length, bool cached = true)
    {
        return CPdfStreamRef(cached ? new CPdfFileStream(&m_input, start, length, CPdfObject(), m_cache)
                                    : new CPdfFileStream(&m_input, start, length, CPdfObject()));
    }
    int At(int32_t offset) const { return static_cast<uint8_t>(m_bytes[offset]); }

    // Byte values that do not repeat every 256 offsets, so that a byte read from the wrong place shows.
    const std::string m_bytes = [] {
        std::string bytes(kSize, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        return bytes;
    }();
    MemoryFile m_file{m_bytes};
    CPdfInputFile m_input{m_file.Path()};
    std::shared_ptr<CPdfFileCache> m_cache = std::make_shared<CPdfFileCache>(m_input);
};

TEST_F(CPdfFileStreamTest, WindowsDeliverExactlyTheirBytesAndSeekIgnoresThem)
{
    // Past the end of the file gives what exists; 0 runs to the end, across refills and cache blocks.
    EXPECT_EQ(ReadAll(Window(kSize - 10, 500).Get()), m_bytes.substr(kSize - 10));
    CPdfStreamRef whole = Window(0, 0), w = Window(200, 10);
    EXPECT_EQ(ReadAll(whole.Get()), m_bytes);
    EXPECT_EQ(ReadAll(w.Get()), m_bytes.substr(200, 10));
    EXPECT_EQ(w->GetPosition(), 210);
    EXPECT_EQ(w->PeekChar(), -1);

    whole->Seek(-1023, CPdfStream::SEEK_FROM_END);
    EXPECT_EQ(whole->GetPosition(), kSize - 1023);
    EXPECT_EQ(whole->GetChar(), At(kSize - 1023));
    whole->ShiftStart(37);
    EXPECT_EQ(whole->GetStart(), 37);
    EXPECT_EQ(whole->GetChar(), At(37));
    // Offsets ignore the window: before its start reads on; a limited window keeps its length from a new start.
    w->Seek(190, CPdfStream::SEEK_FROM_BEGIN);
    EXPECT_EQ(ReadAll(w.Get()), m_bytes.substr(190, 20));
    w->ShiftStart(-5);
    EXPECT_EQ(ReadAll(w.Get()), m_bytes.substr(195, 10));
    w->Reset();
    EXPECT_EQ(w->GetChar(), At(195));
    // A limited view stops without reading ahead: its source goes on where it stopped.
    CPdfStreamRef view(new CPdfEmbedStream(w.Get(), CPdfObject(), true, 3));
    EXPECT_EQ(ReadAll(view.Get()), m_bytes.substr(196, 3));
    EXPECT_EQ(w->GetChar(), At(199));
}

TEST_F(CPdfFileStreamTest, WindowsOnOneFileKeepTheirOwnPositions)
{
    for (bool cached : {false, true}) {
        CPdfStreamRef a = Window(0, 0, cached), b = Window(kSize - 60000, 0, cached);
        std::string gotA, gotB;
        for (int i = 0; i < 70000; ++i) {
            gotA += static_cast<char>(a->GetChar());
            gotB += static_cast<char>(b->GetChar());
            char c;
            if (i % 9973 == 0 && lseek(m_input.Descriptor(), 123, SEEK_SET) == 123) {  // someone else moves the shared file
                EXPECT_EQ(read(m_input.Descriptor(), &c, 1), 1);
            }
        }
        EXPECT_EQ(gotA, m_bytes.substr(0, 70000));
        EXPECT_EQ(gotB, m_bytes.substr(kSize - 60000) + std::string(10000, '\xFF'));  // -1 after the end
    }
}

TEST_F(CPdfFileStreamTest, ReleasedCacheReadsItsBlocksAgain)
{
    // The job frees an input's cache between its phases while windows and
    // spans on it are still in use: their next reads come from the file.
    CPdfStreamRef w = Window(65530, 20);
    EXPECT_EQ(w->GetChar(), At(65530));
    std::vector<uint8_t> scratch;
    size_t available = 0;
    m_cache->Span(70000, 100, available, scratch);
    m_cache->Release();
    EXPECT_EQ(ReadAll(w.Get()), m_bytes.substr(65531, 19));
    const uint8_t* span = m_cache->Span(65500, 100, available, scratch);
    ASSERT_EQ(available, 100u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(span), available), m_bytes.substr(65500, 100));
    m_cache->Release();
    m_cache->Release();
    uint8_t byte = 0;
    EXPECT_EQ(m_cache->Read(kSize - 1, &byte, 1), 1u);
    EXPECT_EQ(byte, At(kSize - 1));
}
