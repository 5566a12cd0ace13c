#include "world_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The small map's three cells: 0 sees {0, 1}, 1 sees {1}, 2 shares 0's string.
const std::vector<uint8_t> FILE_DATA = {0x00, 0x03, 0x00, 0x02};
const std::vector<uint32_t> OFFSETS = {0, 2, 0};

std::vector<uint8_t> words(std::initializer_list<uint32_t> list)
{
    std::vector<uint8_t> out;
    for (const uint32_t v : list) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

} // namespace

TEST(PvsFile, CellsPointIntoTheBlock)
{
    WorldFiles files;
    files.write_small_map("maps/p");
    files.write("maps/p/pvs.bin", pvs_file(0, 3, OFFSETS, FILE_DATA));
    const auto map = files.load("maps/p");
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(files.capture.contains("KLoad:"));
    ASSERT_TRUE(map->has_pvs());
    EXPECT_EQ(map->pvs_cells, 3);
    EXPECT_EQ(map->pvs_size, 4);
    EXPECT_EQ(map->cells[0].pvs, map->pvs_data);
    EXPECT_EQ(map->cells[1].pvs, map->pvs_data + 2);
    EXPECT_EQ(map->cells[2].pvs, map->pvs_data);
    EXPECT_EQ(map->last_pvs, nullptr);
}

TEST(PvsFile, FewerCellsThanTheMapLeaveTheRestSeeingAll)
{
    WorldFiles files;
    files.write_small_map("maps/p");
    files.write("maps/p/pvs.bin", pvs_file(0, 2, {0, 2}, FILE_DATA));
    const auto map = files.load("maps/p");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->pvs_cells, 2);
    EXPECT_NE(map->cells[1].pvs, nullptr);
    EXPECT_EQ(map->cells[2].pvs, nullptr);
}

struct PvsCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message; // null: accepted
    uint32_t text_id = 0;
};

class PvsFileCase : public ::testing::TestWithParam<PvsCase> {};

TEST_P(PvsFileCase, IsAcceptedOrDroppedWithItsMessage)
{
    const PvsCase& c = GetParam();
    WorldFiles files;
    files.write_small_map("maps/p");
    if (c.text_id != 0) {
        files.write("maps/p/rtrees.txt", replaced(SMALL_RTREES, "version005", "version005,0x1a2b"));
    }
    files.write("maps/p/pvs.bin", c.bytes);
    const auto map = files.load("maps/p");
    ASSERT_NE(map, nullptr) << "the PVS is optional: the map loads on";
    if (c.message == nullptr) {
        EXPECT_FALSE(files.capture.contains("KLoad:"));
        EXPECT_TRUE(map->has_pvs());
        return;
    }
    EXPECT_TRUE(files.capture.contains(c.message));
    EXPECT_EQ(files.capture.count("KLoad:"), 1);
    EXPECT_FALSE(map->has_pvs());
    EXPECT_EQ(map->pvs_cells, 0);
    EXPECT_EQ(map->pvs_size, 0);
    for (int i = 0; i < map->cell_count; ++i) {
        EXPECT_EQ(map->cells[i].pvs, nullptr) << "no pointer into a dropped block";
    }
}

namespace {

std::vector<uint8_t> with_form(const char (&form)[5], const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks)
{
    tools::ChunkWriter w(form);
    for (const auto& [id, data] : chunks) {
        char name[5] = {id[0], id[1], id[2], id[3], '\0'};
        w.add(reinterpret_cast<const char(&)[5]>(name), data);
    }
    return w.bytes();
}

std::vector<uint8_t> short_data()
{
    tools::ChunkWriter w("CPVS");
    w.add("HEAD", words({0, 0, 3, 4}));
    w.add("POLD", words({0, 2, 0}));
    w.add_with_length("DATA", 3, FILE_DATA);
    return w.bytes();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, PvsFileCase,
    ::testing::Values(
        PvsCase{"IdentifierZeroEverywhere", pvs_file(0, 3, OFFSETS, FILE_DATA), nullptr},
        PvsCase{"IdentifierOfTheTextFiles", pvs_file(0x1a2b, 3, OFFSETS, FILE_DATA), nullptr, 0x1a2b},
        PvsCase{"LiteralRunPassingTheCellCount", pvs_file(0, 3, {0, 0, 0}, {0x05, 0x07}), nullptr},
        PvsCase{"ZeroRunPassingTheCellCount", pvs_file(0, 3, {0, 0, 0}, {0x83}), nullptr},
        PvsCase{"NoCells", pvs_file(0, 0, {}, {}), nullptr},
        PvsCase{"IdentifierZeroAgainstTheTextFiles", pvs_file(0, 3, OFFSETS, FILE_DATA), "KLoad: Wrong magic in pvs.bin",
                0x1a2b},
        PvsCase{"OtherIdentifier", pvs_file(7, 3, OFFSETS, FILE_DATA), "KLoad: Wrong magic in pvs.bin"},
        PvsCase{"OtherForm", with_form("XPVS", {{"HEAD", words({0, 0, 3, 4})}}), "KLoad: Unknown pvs.bin format"},
        PvsCase{"EmptyFile", {}, "KLoad: Unknown pvs.bin format"},
        PvsCase{"NoHeadFirst", with_form("CPVS", {{"POLD", words({0, 2, 0})}}),
                "KLoad: Expecting HEAD chunk in pvs.bin"},
        PvsCase{"ShortHead", with_form("CPVS", {{"HEAD", words({0, 0, 3})}, {"POLD", words({0, 2, 0})}}),
                "KLoad: Can't read pvs.bin"},
        PvsCase{"Version1", pvs_file(0, 3, OFFSETS, FILE_DATA, 1), "KLoad: Wrong pvs.bin version"},
        PvsCase{"MoreCellsThanTheMap", pvs_file(0, 4, {0, 2, 0, 0}, FILE_DATA), "KLoad: pvs.bin covers 4 cells, the map has 3"},
        PvsCase{"HugeCellCount", pvs_file(0, 0xFFFFFFFF, OFFSETS, FILE_DATA), "covers 4294967295 cells"},
        PvsCase{"SizeBeyondTheFile", with_form("CPVS", {{"HEAD", words({0, 0, 3, 0x7FFFFFFF})}}),
                "KLoad: Can't read pvs.bin"},
        PvsCase{"NoPold", with_form("CPVS", {{"HEAD", words({0, 0, 3, 4})}, {"DATA", FILE_DATA}}),
                "KLoad: Expecting POLD chunk in pvs.bin"},
        PvsCase{"ShortPold", with_form("CPVS", {{"HEAD", words({0, 0, 3, 4})}, {"POLD", words({0, 2})}, {"DATA", FILE_DATA}}),
                "KLoad: Can't read pvs.bin"},
        PvsCase{"NoData", with_form("CPVS", {{"HEAD", words({0, 0, 3, 4})}, {"POLD", words({0, 2, 0})}}),
                "KLoad: Expecting DATA chunk in pvs.bin"},
        PvsCase{"ShortData", short_data(), "KLoad: Can't read pvs.bin"},
        PvsCase{"OffsetPastTheBlock", pvs_file(0, 3, {0, 2, 9}, FILE_DATA), "KLoad: PVS of cell 2 runs past the end of pvs.bin"},
        PvsCase{"OffsetAtTheEnd", pvs_file(0, 3, {0, 4, 0}, FILE_DATA), "KLoad: PVS of cell 1 runs past the end of pvs.bin"},
        PvsCase{"LiteralPastTheBlock", pvs_file(0, 3, {0, 2, 0}, {0x00, 0x03, 0x00}),
                "KLoad: PVS of cell 1 runs past the end of pvs.bin"}),
    [](const auto& info) { return std::string(info.param.name); });
