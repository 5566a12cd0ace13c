// The hive and the in-game sound sources: sources made from sound files,
// priority order, environments, debug lines, and the class-9 object updates
// that create, tune, place and end them.
#include "sound_system_fixture.h"

#include "core/sine_table.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "sound/s3d_hive.h"
#include "sound/s3d_mixer.h"
#include "sound/sample_cache.h"
#include "sound/sound_source_table.h"
#include "tools/wav/wav_writer.h"

#include <cmath>
#include <map>
#include <memory>

namespace {

using namespace tools;

// The client's table of class 9 as the sources see it: slots and places.
class FakeRecords final : public SoundObjectRecords {
public:
    int create_records(int32_t count) override
    {
        ++creates;
        slots = count;
        used.clear();
        return fail_create ? 0 : 1;
    }
    void destroy_records() override
    {
        ++destroys;
        used.clear();
    }
    int32_t first_object() override
    {
        it = used.begin();
        return next_object();
    }
    int32_t next_object() override
    {
        if (it == used.end()) {
            return -1;
        }
        return (it++)->first;
    }
    bool object_allocated(int32_t index) const override { return used.count(index) != 0; }
    SoundObjectPlace object_place(int32_t index) const override { return used.at(index); }

    std::map<int32_t, SoundObjectPlace> used;
    std::map<int32_t, SoundObjectPlace>::iterator it;
    int32_t slots = 0;
    int creates = 0;
    int destroys = 0;
    bool fail_create = false;
};

// One class-9 update part, written as the server writes it.
struct Update {
    bool create = false;
    bool follows = true; // the name's text is sent
    uint32_t block = 0;
    std::string name;
    uint32_t looped = 0;
    int frequency = -1;            // -1: not sent
    int min = -1, max = -1;        // -1: not sent
    int level = -1, level_max = 0; // -1: not sent
    int cut_bits = 0;              // bits dropped from the end

    uint32_t parts() const
    {
        return (create ? SST_PART_CREATE : 0) | (min >= 0 || level >= 0 ? SST_PART_EXTENDED : 0);
    }
    std::vector<uint8_t> bits(int32_t* count) const
    {
        std::vector<uint8_t> buffer(256);
        NetStreamOut out;
        out.attach(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (create) {
            out.write_bits(follows ? 1 : 0, 1);
            out.write_bits(block, 6);
            if (follows) {
                out.write_string(name.c_str());
            }
            out.write_bits(looped, 1);
        }
        out.write_bits(frequency >= 0 ? 1 : 0, 1);
        if (frequency >= 0) {
            out.write_bits(static_cast<uint32_t>(frequency), 8);
        }
        if ((parts() & SST_PART_EXTENDED) != 0) {
            out.write_bits(min >= 0 ? 1 : 0, 1);
            if (min >= 0) {
                out.write_bits(static_cast<uint32_t>(min), 6);
                out.write_bits(static_cast<uint32_t>(max), 6);
            }
            out.write_bits(level >= 0 ? 1 : 0, 1);
            if (level >= 0) {
                out.write_bits(static_cast<uint32_t>(level), 6);
                out.write_bits(static_cast<uint32_t>(level_max), 6);
            }
        }
        *count = out.detach() - cut_bits;
        return buffer;
    }
};

class SoundSourcesTest : public SoundSystemTest {
protected:
    void SetUp() override
    {
        SoundSystemTest::SetUp();
        ASSERT_EQ(sines.init(4096), 1);
        saved_sines = sine_table;
        sine_table = &sines;
        SDSettings s;
        s.rate = 22050;
        s.flags = SDF_STEREO | SDF_16BIT;
        s.channels = 32;
        ASSERT_EQ(wave.init(&s), 1);
        cache = std::make_unique<SampleCache>(&wave);
        hive.reset(wave.create_3d_hive());
        ASSERT_NE(hive, nullptr);
        hive->attach_cache(cache.get());
        std::vector<int16_t> tone(4000, 3000);
        put("sounds/hum.wav", wav_pcm16(1, 22050, tone));
        put("sounds/ping.wav", wav_pcm16(1, 11025, tone));
    }
    void TearDown() override
    {
        table.reset();
        hive.reset();
        cache.reset();
        wave.shutdown();
        sine_table = saved_sines;
        SoundSystemTest::TearDown();
    }

    S3DMixer& renderer() { return *static_cast<S3DMixer*>(hive->renderers()); }
    S3DMixSource* as_mix(const SoundSourceTable::Entry* e) { return static_cast<S3DMixSource*>(e->source); }

    void make_table(bool with_hive = true)
    {
        table = std::make_unique<SoundSourceTable>(&records);
        ASSERT_EQ(table->init(with_hive ? hive.get() : nullptr, SOUND_GAME_SOURCES), 1);
    }

    int send(int32_t index, const Update& u)
    {
        int32_t count = 0;
        const std::vector<uint8_t> bytes = u.bits(&count);
        NetStreamIn in;
        in.attach(bytes.data(), count);
        const int r = table->net_update(index, u.parts(), &in);
        in.detach();
        return r;
    }

    // A slot of the client's table holding an object.
    void occupy(int32_t index, SoundObjectPlace place = {})
    {
        records.used[index] = place;
        table->link(index);
    }

    SineTable sines;
    SineTable* saved_sines = nullptr;
    std::unique_ptr<SampleCache> cache;
    std::unique_ptr<S3DHive> hive;
    FakeRecords records;
    std::unique_ptr<SoundSourceTable> table;
};

TEST_F(SoundSourcesTest, HiveSourcesStartWithTheirDefaults)
{
    S3DMixSource* const s = static_cast<S3DMixSource*>(hive->create_source("sounds/ping.wav", 0));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(renderer().sources, s);
    EXPECT_EQ(s->min_distance, 16.0f);
    EXPECT_EQ(s->max_distance, 1024.0f);
    EXPECT_EQ(s->volume, 1.0f);
    EXPECT_EQ(s->frequency, 1.0f);
    EXPECT_EQ(s->rate, 11025.0f);
    EXPECT_EQ(s->base_priority, 0.5f);
    EXPECT_EQ(s->volume_priority, 0.5f);
    EXPECT_EQ(s->flags, S3DM_ONCE);
    EXPECT_EQ(hive->create_source("sounds/missing.wav", 0), nullptr);
    EXPECT_EQ(hive->separation(), 0.3f);
    EXPECT_EQ(hive->priority_scale(), 8.0f);
}

TEST_F(SoundSourcesTest, SortingOrdersByAscendingPriorityKeepingTies)
{
    const std::vector<std::vector<float>> lists = {
        {}, {1}, {3, 1, 2}, {1, 2, 3}, {3, 2, 1}, {2, 1, 2, 1, 0}, {5, 5, 5}, {0.5f, -1, 7, 0.5f, 3, -1},
    };
    for (const std::vector<float>& l : lists) {
        std::vector<std::unique_ptr<S3DMixSource>> nodes;
        S3DSource* head = nullptr;
        for (size_t i = l.size(); i-- > 0;) {
            nodes.push_back(std::make_unique<S3DMixSource>());
            nodes.back()->priority = l[i];
            nodes.back()->base_priority = static_cast<float>(i); // the original order
            nodes.back()->next = head;
            head = nodes.back().get();
        }
        S3DHive::sort_sources(&head);
        std::vector<std::pair<float, float>> got;
        for (S3DSource* s = head; s != nullptr; s = s->next) {
            got.push_back({s->priority, s->base_priority});
        }
        std::vector<std::pair<float, float>> want;
        for (size_t i = 0; i < l.size(); ++i) {
            want.push_back({l[i], static_cast<float>(i)});
        }
        std::stable_sort(want.begin(), want.end(), [](auto a, auto b) { return a.first < b.first; });
        EXPECT_EQ(got, want);
    }
}

TEST_F(SoundSourcesTest, EnvironmentAndDebugLinesOfTheHive)
{
    EXPECT_EQ(hive->set_environment(0), 1);
    EXPECT_EQ(renderer().reverb(), nullptr);
    EXPECT_EQ(hive->set_environment(2), 1);
    MixingBuffer* const reverb = renderer().reverb();
    ASSERT_NE(reverb, nullptr);
    EXPECT_EQ(hive->set_environment(2), 1);
    EXPECT_EQ(renderer().reverb(), reverb) << "the current value asks no renderer";
    EXPECT_EQ(hive->set_environment(9), 0);
    EXPECT_EQ(renderer().reverb(), nullptr);
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(hive->create_source("sounds/hum.wav", 0), nullptr);
    }
    struct Case {
        int32_t debug_lines;
        int header;
        int lines;
    };
    for (const Case c : {Case{0, 0, 0}, Case{1, 0, 0}, Case{2, 1, 1}, Case{3, 1, 2}, Case{40, 1, 4}}) {
        SCOPED_TRACE(c.debug_lines);
        capture.clear();
        hive->frame(1.0, c.debug_lines);
        EXPECT_EQ(capture.count("--- Active sound sources:"), c.header);
        EXPECT_EQ(capture.count("  - <"), c.lines);
    }
}

TEST_F(SoundSourcesTest, UpdatesCreateAndTuneSources)
{
    make_table();
    EXPECT_EQ(records.slots, 256);
    struct Case {
        const char* why;
        Update u;
        float frequency, min, max, volume;
    };
    const Case cases[] = {
        {"create with the in-game defaults", {true, true, 3, "hum.wav", 1}, 1.0f, 16.0f, 2048.0f, 1.0f},
        {"frequency 96 is 1.5", {false, true, 0, "", 0, 96}, 1.5f, 16.0f, 2048.0f, 1.0f},
        {"frequency 32 is 0.5", {false, true, 0, "", 0, 32}, 0.5f, 16.0f, 2048.0f, 1.0f},
        {"frequency 0 is 0", {false, true, 0, "", 0, 0}, 0.0f, 16.0f, 2048.0f, 1.0f},
        {"distances 2 and 8 are 16 and 2048", {false, true, 0, "", 0, -1, 2, 8}, 0.0f, 16.0f, 2048.0f, 1.0f},
        {"distance 0 is 0", {false, true, 0, "", 0, -1, 0, 1}, 0.0f, 0.0f, 256.0f, 1.0f},
        {"level 0 is silence", {false, true, 0, "", 0, -1, -1, -1, 0, 63}, 0.0f, 0.0f, 256.0f, 0.0f},
        {"level 63 is full", {false, true, 0, "", 0, 64, 1, 2, 63, 0}, 1.0f, 8.0f, 512.0f, 1.0f},
        {"a second create keeps the source", {true, false, 3, "", 0}, 1.0f, 8.0f, 512.0f, 1.0f},
    };
    occupy(7);
    const SoundSourceTable::Entry* const e = table->entry(7);
    S3DSource* first = nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(send(7, c.u), 1);
        ASSERT_NE(e->source, nullptr);
        if (first == nullptr) {
            first = e->source;
        }
        EXPECT_EQ(e->source, first);
        EXPECT_EQ(e->looped, 1);
        const S3DMixSource* const s = as_mix(e);
        EXPECT_EQ(s->frequency, c.frequency);
        EXPECT_EQ(s->min_distance, c.min);
        EXPECT_EQ(s->max_distance, c.max);
        EXPECT_EQ(s->volume, c.volume);
    }
}

TEST_F(SoundSourcesTest, NamesFromTheWireMustBePlainAndWhole)
{
    make_table();
    struct Case {
        const char* why;
        std::string name;
        int result;
        bool source;
        const char* message;
    };
    const Case cases[] = {
        {"a plain name", "hum.wav", 1, true, nullptr},
        {"a missing file", "gone.wav", 1, false, "Client: Can't add sound 'gone.wav'"},
        {"a parent directory", "../hum.wav", 1, false, "Client: Sound name '../hum.wav' is not a plain name"},
        {"a directory", "sub/hum.wav", 1, false, "is not a plain name"},
        {"a backslash", "sub\\hum.wav", 1, false, "is not a plain name"},
        {"a drive", "c:hum.wav", 1, false, "is not a plain name"},
        {"an empty name", "", 1, false, "is not a plain name"},
        {"longer than the name cache's block", std::string(40, 'a'), 0, false, "NetCCache: Can't read"},
    };
    int32_t slot = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        occupy(slot);
        capture.clear();
        Update u{true, true, 5, c.name, 0};
        u.frequency = 80;
        EXPECT_EQ(send(slot, u), c.result);
        EXPECT_EQ(table->entry(slot)->source != nullptr, c.source);
        if (c.message != nullptr) {
            EXPECT_TRUE(capture.contains(c.message));
        }
        ++slot;
    }
}

TEST_F(SoundSourcesTest, CutMessagesAreRefusedWithoutChangingTheSource)
{
    make_table();
    occupy(1);
    ASSERT_EQ(send(1, Update{true, true, 0, "hum.wav", 0}), 1);
    Update u;
    u.frequency = 128;
    u.min = 3;
    u.max = 4;
    u.level = 30;
    u.cut_bits = 3;
    EXPECT_EQ(send(1, u), 0);
    const S3DMixSource* const s = as_mix(table->entry(1));
    EXPECT_EQ(s->frequency, 1.0f);
    EXPECT_EQ(s->min_distance, 16.0f);
    EXPECT_EQ(s->volume, 1.0f);
    // Slots outside the table are refused too.
    EXPECT_EQ(send(-1, Update{}), 0);
    EXPECT_EQ(send(256, Update{}), 0);
}

TEST_F(SoundSourcesTest, WithoutAHiveUpdatesAreReadAndMakeNothing)
{
    make_table(false);
    occupy(4);
    Update u{true, true, 1, "hum.wav", 1, 70, 2, 3, 40, 1};
    EXPECT_EQ(send(4, u), 1);
    EXPECT_EQ(table->entry(4)->source, nullptr);
    // The name reached the cache: a later reference without text finds it.
    occupy(5);
    EXPECT_EQ(send(5, Update{true, false, 1, "", 0}), 1);
}

TEST_F(SoundSourcesTest, LeavingObjectsStopLoopsAndLetOneShotsFinish)
{
    make_table();
    struct Case {
        const char* why;
        uint32_t looped;
        int forced;
        uint32_t expect;
    };
    const Case cases[] = {
        {"a looped sound stops at once", 1, 0, S3DM_REMOVE},
        {"a one-shot sound plays to its end", 0, 0, S3DM_RELEASED},
        {"forced: stops at once", 0, 1, S3DM_REMOVE},
    };
    int32_t slot = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        occupy(slot);
        ASSERT_EQ(send(slot, Update{true, true, 2, "ping.wav", c.looped}), 1);
        S3DMixSource* const s = as_mix(table->entry(slot));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(table->unlink(slot, c.forced), 1);
        EXPECT_EQ(s->flags & (S3DM_REMOVE | S3DM_RELEASED), c.expect);
        EXPECT_EQ(table->entry(slot)->source, nullptr);
        records.used.erase(slot);
        ++slot;
    }
    occupy(30);
    ASSERT_EQ(send(30, Update{true, true, 2, "ping.wav", 0}), 1);
    S3DMixSource* const s = as_mix(table->entry(30));
    table->remove(30);
    EXPECT_NE(s->flags & S3DM_REMOVE, 0u);
    EXPECT_EQ(table->entry(30)->source, nullptr);
}

TEST_F(SoundSourcesTest, SourcesFollowTheirObjectsPlace)
{
    make_table();
    struct Case {
        const char* why;
        SoundObjectPlace place;
        Vector expect;
    };
    const float quarter = static_cast<float>(M_PI / 2);
    const Case cases[] = {
        {"no rotation: position plus offset", {{10, 20, 30}, {0, 0, 0}, {1, 2, 3}}, {11, 22, 33}},
        {"a quarter turn of the first angle", {{10, 0, 0}, {quarter, 0, 0}, {1, 0, 0}}, {10, 1, 0}},
    };
    int32_t slot = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        occupy(slot, c.place);
        ASSERT_EQ(send(slot, Update{true, true, 2, "hum.wav", 1}), 1);
        Matrix listener;
        mat_identity(listener);
        table->update(listener);
        const S3DMixSource* const s = as_mix(table->entry(slot));
        EXPECT_NEAR(s->position[0], c.expect.x, 1e-4);
        EXPECT_NEAR(s->position[1], c.expect.y, 1e-4);
        EXPECT_NEAR(s->position[2], c.expect.z, 1e-4);
        EXPECT_EQ(s->velocity[0], 0.0f);
        ++slot;
    }
}

TEST_F(SoundSourcesTest, TheTableOwnsTheRecordsAndStopsItsSourcesWhenItGoes)
{
    make_table();
    occupy(1);
    ASSERT_EQ(send(1, Update{true, true, 2, "hum.wav", 1}), 1);
    S3DMixSource* const s = as_mix(table->entry(1));
    const int destroys = records.destroys;
    table.reset();
    EXPECT_NE(s->flags & S3DM_REMOVE, 0u);
    EXPECT_EQ(records.destroys, destroys + 1);
    hive->frame(0.0, 0);
    EXPECT_EQ(renderer().sources, nullptr);
    records.fail_create = true;
    SoundSourceTable failing(&records);
    EXPECT_EQ(failing.init(hive.get(), 256), 0);
}

} // namespace
