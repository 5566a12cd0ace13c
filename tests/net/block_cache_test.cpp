#include "net/net_ccache.h"
#include "net/net_scache.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net_fixture.h"

#include <cstring>
#include <string>

namespace {

// One reference as it travels: the flag, the index and the text when sent.
struct Reference {
    bool data;
    uint32_t index;
    std::string text;
};

class BlockCacheTest : public NetTest {
protected:
    // Writes one text reference and decodes it by hand.
    Reference write_text(NetSCache& cache, int32_t client, int32_t tick, int32_t ctick, const char* text,
                         int ibits = 2, int* result = nullptr)
    {
        uint8_t buffer[128];
        NetStreamOut out;
        out.attach(buffer, sizeof buffer);
        const int r = cache.write(client, tick, ctick, text, &out, ibits, 0);
        if (result != nullptr) {
            *result = r;
        }
        const int32_t bits = out.detach();
        Reference ref{false, 0, ""};
        if (r != 0 || bits <= 0) {
            return ref;
        }
        NetStreamIn in;
        in.attach(buffer, bits);
        ref.data = in.read_bits(1) != 0;
        ref.index = in.read_bits(ibits);
        if (ref.data) {
            char back[64];
            EXPECT_EQ(in.read_string(back, sizeof back), 0);
            ref.text = back;
        }
        EXPECT_TRUE(in.at_end());
        in.detach();
        return ref;
    }
};

TEST_F(BlockCacheTest, WidthsMustCoverTheBlocks)
{
    NetSCache four;
    ASSERT_EQ(four.create(4, 1, 16, 0), 0);
    int r = -1;
    write_text(four, 0, 1, 0, "a", 2, &r);
    EXPECT_EQ(r, 0);

    NetSCache five;
    ASSERT_EQ(five.create(5, 1, 16, 0), 0);
    write_text(five, 0, 1, 0, "a", 2, &r);
    EXPECT_EQ(r, 5);
    EXPECT_TRUE(capture.contains("NetSCache: 2 bits are not enough for 5 blocks"));

    NetSCache binary;
    ASSERT_EQ(binary.create(2, 1, 4, 1), 0);
    uint8_t buffer[16];
    const uint8_t value[4] = {1, 2, 3, 4};
    NetStreamOut out;
    out.attach(buffer, sizeof buffer);
    EXPECT_EQ(binary.write(0, 1, 0, value, &out, 1, 0), 5);
    EXPECT_TRUE(capture.contains("NetSCache: 0 bits are not enough for 4 bytes"));
    // More bits than the block holds would read past it.
    EXPECT_EQ(binary.write(0, 1, 0, value, &out, 1, 33), 5);
    EXPECT_EQ(binary.write(0, 1, 0, value, &out, 1, 32), 0);
    out.detach();
}

TEST_F(BlockCacheTest, TextIsResentUntilTheClientConfirmsItsTick)
{
    NetSCache cache;
    ASSERT_EQ(cache.create(4, 2, 16, 0), 0);
    Reference first = write_text(cache, 0, 10, 9, "box.mesh");
    EXPECT_TRUE(first.data);
    EXPECT_EQ(first.text, "box.mesh");
    Reference again = write_text(cache, 0, 11, 9, "box.mesh");
    EXPECT_TRUE(again.data);
    EXPECT_EQ(again.index, first.index);
    Reference confirmed = write_text(cache, 0, 12, 10, "box.mesh");
    EXPECT_FALSE(confirmed.data);
    EXPECT_EQ(confirmed.index, first.index);

    // A second client shares the block and gets the text once.
    Reference other = write_text(cache, 1, 12, 11, "box.mesh");
    EXPECT_TRUE(other.data);
    EXPECT_EQ(other.index, first.index);
    EXPECT_FALSE(write_text(cache, 1, 13, 12, "box.mesh").data);

    // Letter case alone does not make a new block: the stored text is sent.
    Reference upper = write_text(cache, 0, 13, 12, "BOX.MESH");
    EXPECT_FALSE(upper.data);
    EXPECT_EQ(upper.index, first.index);
    cache.reset_client(0);
    upper = write_text(cache, 0, 14, 13, "BOX.MESH");
    EXPECT_TRUE(upper.data);
    EXPECT_EQ(upper.text, "box.mesh");
}

// A client that was never referred to a block gets its data even when it
// has confirmed the current tick already.
TEST_F(BlockCacheTest, FirstReferenceAlwaysCarriesTheData)
{
    NetSCache cache;
    ASSERT_EQ(cache.create(4, 2, 16, 0), 0);
    write_text(cache, 0, 5, 4, "none");
    Reference late = write_text(cache, 1, 6, 6, "none");
    EXPECT_TRUE(late.data);
    EXPECT_EQ(late.text, "none");
}

TEST_F(BlockCacheTest, FullCacheTakesOverTheLeastRecentlyUsedBlock)
{
    NetSCache cache;
    ASSERT_EQ(cache.create(4, 1, 16, 0), 0);
    const char* const names[5] = {"a", "b", "c", "d", "e"};
    uint32_t index_of[5] = {};
    for (int i = 0; i < 5; ++i) {
        index_of[i] = write_text(cache, 0, 1, 0, names[i]).index;
    }
    EXPECT_EQ(capture.count("NetSCache: killing last block"), 1);
    EXPECT_EQ(index_of[4], index_of[0]);
    Reference back = write_text(cache, 0, 50, 40, "a");
    EXPECT_TRUE(back.data);
    EXPECT_EQ(back.index, index_of[1]);
    EXPECT_EQ(capture.count("NetSCache: killing last block"), 2);
}

TEST_F(BlockCacheTest, RefusesTextsTooLongAndCachesNotCreated)
{
    NetSCache cache;
    int r = 0;
    write_text(cache, 0, 1, 0, "x", 2, &r);
    EXPECT_EQ(r, 4);
    EXPECT_TRUE(capture.contains("NetSCache: Can't match - not initialized?"));
    EXPECT_EQ(cache.reset_client(0), 4);

    ASSERT_EQ(cache.create(2, 1, 4, 0), 0);
    write_text(cache, 0, 1, 0, "abcd", 1, &r);
    EXPECT_EQ(r, 5);
    write_text(cache, 0, 1, 0, "abc", 1, &r);
    EXPECT_EQ(r, 0);
}

TEST_F(BlockCacheTest, ServerAndClientAgreeOverManyMessages)
{
    for (const int binary : {0, 1}) {
        NetSCache server;
        NetCCache client;
        ASSERT_EQ(server.create(6, 1, 8, binary), 0);
        ASSERT_EQ(client.create(binary, 6, 8), 0);
        const int dbits = binary ? 64 : 0;
        for (int32_t tick = 1; tick < 60; ++tick) {
            uint8_t buffer[256];
            NetStreamOut out;
            out.attach(buffer, sizeof buffer);
            char values[3][8];
            for (int k = 0; k < 3; ++k) {
                std::memset(values[k], 0, 8);
                std::snprintf(values[k], 8, "v%d", (tick * 7 + k * 3) % 9);
                ASSERT_EQ(server.write(0, tick, tick - 2, values[k], &out, 3, dbits), 0);
            }
            const int32_t bits = out.detach();
            NetStreamIn in;
            in.attach(buffer, bits);
            for (int k = 0; k < 3; ++k) {
                char back[8] = {};
                ASSERT_EQ(client.read(&in, back, 3, dbits), 0) << "tick " << tick;
                EXPECT_EQ(std::memcmp(back, values[k], binary ? 8 : std::strlen(values[k]) + 1), 0);
            }
            EXPECT_TRUE(in.at_end());
            in.detach();
        }
    }
}

struct ReadCase {
    const char* name;
    void (*write)(NetStreamOut& out);
    int32_t cut_bits; // bits dropped from the end of the message
    int result;
};

TEST_F(BlockCacheTest, ClientRefusesBadReferencesAndKeepsItsBlocks)
{
    const std::vector<ReadCase> cases = {
        {"index beyond the blocks", [](NetStreamOut& out) { out.write_bits(0, 1); out.write_bits(6, 3); }, 0, 7},
        {"text as long as a block",
         [](NetStreamOut& out) { out.write_bits(1, 1); out.write_bits(1, 3); out.write_string("abcdefgh"); }, 0, 1},
        {"text without its terminator",
         [](NetStreamOut& out) { out.write_bits(1, 1); out.write_bits(1, 3); out.write_string("abc"); }, 8, 2},
        {"message ends in the index", [](NetStreamOut& out) { out.write_bits(1, 1); out.write_bits(1, 3); }, 1, 2},
    };
    NetCCache cache;
    ASSERT_EQ(cache.create(0, 6, 8), 0);
    cache.set(1, "keep");
    for (const ReadCase& c : cases) {
        capture.clear();
        uint8_t message[32];
        NetStreamOut out;
        out.attach(message, sizeof message);
        c.write(out);
        const int32_t bits = out.detach() - c.cut_bits;
        NetStreamIn in;
        in.attach(message, bits);
        char back[8] = {};
        EXPECT_EQ(cache.read(&in, back, 3, 0), c.result) << c.name;
        EXPECT_TRUE(capture.contains("NetCCache: Can't read")) << c.name;
        in.detach();
        char kept[8];
        cache.get(1, kept);
        EXPECT_STREQ(kept, "keep") << c.name;
    }
    capture.clear();
    NetStreamIn in;
    const uint8_t any[1] = {0};
    in.attach(any, 8);
    char back[8];
    EXPECT_EQ(cache.read(&in, back, 2, 0), 5);
    EXPECT_TRUE(capture.contains("NetCCache: 2 bits are not enough for 6 blocks"));
    in.detach();
}

} // namespace
