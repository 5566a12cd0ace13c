#include "fsys/chunk_reader.h"
#include "stream_source.h"
#include "tools/fsys/chunk_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The same chunked file read from a host directory and from an archive member.
class ChunkReaderTest : public ::testing::TestWithParam<const char*> {
protected:
    FileStream* open(const std::vector<uint8_t>& bytes) { return source_.open(bytes); }

    StreamSource source_{GetParam()};
};

} // namespace

TEST_P(ChunkReaderTest, FormOnly)
{
    FileStream* const s = open(tools::ChunkWriter("SVCR").bytes());
    ChunkReader r;
    EXPECT_EQ(r.attach(s), chunk_id("SVCR"));
    EXPECT_EQ(r.header().length, CHUNK_START_LENGTH);
    EXPECT_EQ(r.find_chunk(chunk_id("HEAD")), nullptr);
    s->close();
}

TEST_P(ChunkReaderTest, EmptyOrShortFilesHaveNoForm)
{
    for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>{'S', 'V', 'C'}}) {
        FileStream* const s = open(bytes);
        ChunkReader r;
        EXPECT_EQ(r.attach(s), 0u);
        s->close();
    }
}

TEST_P(ChunkReaderTest, ChunksArePaddedToFourBytes)
{
    tools::ChunkWriter w("FORM");
    w.add("AAAA", std::string("12345"));
    w.add("BBBB", std::string("12345678"));
    w.add("CCCC", std::string(""));
    FileStream* const s = open(w.bytes());
    ChunkReader r;
    ASSERT_EQ(r.attach(s), chunk_id("FORM"));
    const ChunkHeader* h = r.next_chunk(-1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->id, chunk_id("AAAA"));
    EXPECT_EQ(h->position, 4);
    EXPECT_EQ(h->length, 5u);
    EXPECT_EQ(s->tell(), 12); // at the data
    h = r.find_chunk(chunk_id("BBBB"));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->position, 4 + 8 + 8);
    char data[8];
    EXPECT_EQ(s->read(data, 1, 8), 8u);
    EXPECT_EQ(std::string(data, 8), "12345678");
    // The last chunk is empty and ends the file: found over both kinds of stream.
    h = r.find_chunk(chunk_id("CCCC"));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->position, 36);
    EXPECT_EQ(h->length, 0u);
    EXPECT_EQ(r.find_chunk(chunk_id("CCCC")), nullptr);
    s->close();
}

TEST_P(ChunkReaderTest, RepeatedIdentifiersInFileOrder)
{
    tools::ChunkWriter w("FORM");
    w.add("DATA", std::string("first"));
    w.add("SKIP", std::string("x"));
    w.add("DATA", std::string("second"));
    FileStream* const s = open(w.bytes());
    ChunkReader r;
    ASSERT_EQ(r.attach(s), chunk_id("FORM"));
    const ChunkHeader* h = r.find_chunk(chunk_id("DATA"));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->length, 5u);
    h = r.find_chunk(chunk_id("DATA"));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->length, 6u);
    EXPECT_EQ(r.find_chunk(chunk_id("DATA")), nullptr);

    // A header of the caller's own starts again from the front.
    ChunkHeader mine;
    mine.position = 0;
    mine.length = CHUNK_START_LENGTH;
    h = r.find_chunk(chunk_id("SKIP"), &mine);
    EXPECT_EQ(h, &mine);
    EXPECT_EQ(mine.position, 4 + 8 + 8);
    EXPECT_EQ(r.next_chunk(4, &mine), &mine);
    EXPECT_EQ(mine.id, chunk_id("DATA"));

    // A header that leads before the start finds nothing, not the chunk the stream stands at.
    ASSERT_EQ(s->seek(4, FSYS_SEEK_SET), 0);
    ChunkHeader before;
    before.position = -9;
    before.length = 0;
    EXPECT_EQ(r.find_chunk(chunk_id("DATA"), &before), nullptr);
    s->close();
}

TEST_P(ChunkReaderTest, DamagedLengthsEndTheSearch)
{
    struct Case {
        const char* what;
        uint32_t length;
    };
    const Case cases[] = {
        {"past the end", 1000},
        {"near 2^32, would wrap to the chunk itself", 0xFFFFFFF8u},
        {"near 2^32, would wrap backwards", 0xFFFFFFF0u},
        {"2^32 - 1", 0xFFFFFFFFu},
        {"2^31", 0x80000000u},
        {"the start marker's value", CHUNK_START_LENGTH},
    };
    for (const Case& c : cases) {
        tools::ChunkWriter w("FORM");
        w.add("GOOD", std::string("ok"));
        w.add_with_length("EVIL", c.length, {1, 2, 3, 4});
        w.add("LAST", std::string("end"));
        FileStream* const s = open(w.bytes());
        ChunkReader r;
        ASSERT_EQ(r.attach(s), chunk_id("FORM"));
        const ChunkHeader* const evil = r.find_chunk(chunk_id("EVIL"));
        ASSERT_NE(evil, nullptr) << c.what;
        EXPECT_EQ(evil->length, c.length);
        EXPECT_EQ(r.find_chunk(chunk_id("LAST")), nullptr) << c.what;
        EXPECT_EQ(r.find_chunk(chunk_id("GOOD")), nullptr) << c.what;
        s->close();
    }
}

TEST_P(ChunkReaderTest, NoStreamNoChunk)
{
    ChunkReader r;
    EXPECT_EQ(r.next_chunk(-1), nullptr);
    EXPECT_EQ(r.find_chunk(chunk_id("HEAD")), nullptr);
    EXPECT_EQ(r.attach(nullptr), 0u);
}

INSTANTIATE_TEST_SUITE_P(Streams, ChunkReaderTest, ::testing::Values("dir", "muf"));
