#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_order.h"
#include "script/klabels.h"

namespace {

struct Table {
    klabels* lab;
    explicit Table(uint32_t n) : lab(labels_create(n)) {}
    ~Table() { labels_destroy(lab); }
};

TEST(Labels, ChainCountIsFiveQuartersWithTheLowBitSet)
{
    const struct {
        uint32_t expected;
        uint32_t prime;
    } cases[] = {{8, 11}, {0, 1}, {1, 1}, {4, 5}, {100, 125}};
    for (const auto& k : cases) {
        Table t(k.expected);
        EXPECT_EQ(t.lab->prime, k.prime) << k.expected;
    }
}

TEST(Labels, AddFindsTheSameLabelAndDefineKeepsTheFirstAddress)
{
    Table t(8);
    klabel_t* a = labels_add(t.lab, "main");
    EXPECT_EQ(labels_add(t.lab, "main"), a);
    EXPECT_NE(labels_add(t.lab, "Main"), a) << "names are case-sensitive";
    EXPECT_EQ(labels_address_of(t.lab, "main"), 0u) << "undefined";
    EXPECT_EQ(labels_define(t.lab, a, 0x20000), 1);
    EXPECT_EQ(labels_define(t.lab, a, 0x30000), 0);
    EXPECT_EQ(labels_address_of(t.lab, "main"), 0x20000u);
    EXPECT_STREQ(labels_name_at(t.lab, 0x20000), "main");
    EXPECT_EQ(labels_name_at(t.lab, 0x30000), nullptr);
    EXPECT_EQ(labels_address_of(t.lab, "nothing"), 0u);
}

TEST(Labels, ReferencesBeforeTheDefinitionWaitAfterItPatchAtOnce)
{
    Table t(8);
    uint8_t early[4];
    uint8_t late[4];
    write_le32(early, 8);  // the addend stays in the word
    write_le32(late, 4);
    klabel_t* l = labels_add(t.lab, "x");
    EXPECT_EQ(labels_reference(t.lab, l, early), 1);
    EXPECT_EQ(read_le32(early), 8u);
    labels_define(t.lab, l, 0x10000);
    EXPECT_EQ(labels_reference(t.lab, l, late), 1);
    EXPECT_EQ(read_le32(late), 0x10004u);
    EXPECT_EQ(labels_resolve(t.lab), nullptr);
    EXPECT_EQ(read_le32(early), 0x10008u);
}

TEST(Labels, ResolveStopsAtTheFirstUndefinedLabelNewestFirst)
{
    Table t(8);
    uint8_t w[3][4] = {};
    klabel_t* a = labels_add(t.lab, "a");
    klabel_t* b = labels_add(t.lab, "b");
    labels_reference(t.lab, a, w[0]);
    labels_reference(t.lab, b, w[1]);
    labels_reference(t.lab, a, w[2]);
    labels_define(t.lab, a, 0x100);
    EXPECT_EQ(labels_resolve(t.lab), b);
    EXPECT_EQ(read_le32(w[2]), 0x100u) << "newer than the undefined one";
    EXPECT_EQ(read_le32(w[0]), 0u) << "behind the undefined one";
    labels_define(t.lab, b, 0x200);
    EXPECT_EQ(labels_resolve(t.lab), nullptr);
    EXPECT_EQ(read_le32(w[0]), 0x100u);
    EXPECT_EQ(read_le32(w[1]), 0x200u);
}

TEST(Labels, Nearest)
{
    Table t(8);
    labels_define(t.lab, labels_add(t.lab, "f"), 0x1000);
    labels_define(t.lab, labels_add(t.lab, "g"), 0x1100);
    labels_define(t.lab, labels_add(t.lab, "g_alias"), 0x1100);
    labels_add(t.lab, "undefined");
    const struct {
        uint32_t address;
        const char* name;
        uint32_t distance;
    } cases[] = {
        {0x1000, "f", 0},          // exact
        {0x1010, "f", 0x10},       // nearest below
        {0x1100, "g_alias", 0},    // the newest at the same address
        {0x1180, "g_alias", 0x80},
        {0x800, "?", 0x800},       // below every label: the address itself
    };
    for (const auto& k : cases) {
        const char* name = nullptr;
        EXPECT_EQ(labels_nearest(t.lab, k.address, &name), k.distance) << k.address;
        EXPECT_STREQ(name, k.name) << k.address;
    }
}

TEST(Labels, ForEachVisitsNewestFirst)
{
    Table t(2);
    for (const char* n : {"one", "two", "three"}) {
        labels_add(t.lab, n);
    }
    std::vector<std::string> seen;
    labels_for_each(
        t.lab, [](klabel_t* l, void* data) { static_cast<std::vector<std::string>*>(data)->push_back(l->name); },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"three", "two", "one"}));
}

TEST(Labels, NameHash)
{
    EXPECT_EQ(labels_name_hash(""), 0u);
    EXPECT_EQ(labels_name_hash("ab"), (0x61u << 2) ^ 0x62u);
    EXPECT_EQ(labels_name_hash("\xff"), 0xFFu) << "bytes are unsigned";
}

} // namespace
