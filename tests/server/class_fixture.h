#pragma once
// A server with the snake map and one spawned client whose camera stands in
// the first room: objects of every class made through the mirror reach the
// client, whose reference decoder reads their class parts.
#include "server_fixture.h"

#include <optional>
#include <vector>

using fake_client::ObjectView;
using fake_client::UpdateRecord;

// Arguments of a property, in order.
inline SObjArg int_arg(int32_t v) { return SObjArg{v, 0.0, nullptr}; }
inline SObjArg real(double v) { return SObjArg{0, v, nullptr}; }
inline SObjArg text(const char* s) { return SObjArg{0, 0.0, s}; }

class ClassFixture : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world(scripts().c_str()));
        player.keep_updates = true;
        ASSERT_TRUE(spawn({&player}));
        var("S_FrameTicks")->set_int(1);
        camera = server.client[slot_of("fake")].camera_id;
        server.mirror.set_position(camera, Vector{128.0f, 128.0f, 64.0f});
        sync();
    }
    void TearDown() override
    {
        player.close();
        ServerFixture::TearDown();
    }

    // The map's scripts.
    virtual std::string scripts() const { return SPAWN_SCRIPT; }

    // An object of the class for every client, placed in the first room.
    int32_t create(int object_class, bool transient = false)
    {
        const int32_t id = server.mirror.create(object_class, AUDIENCE_EVERYONE, transient);
        EXPECT_GE(id, 0);
        if (id >= 0) {
            server.mirror.set_position(id, Vector{120.0f, 120.0f, 64.0f});
        }
        return id;
    }
    int set(int32_t id, int property, const std::vector<SObjArg>& args)
    {
        return server.mirror.set_special(id, property, args);
    }

    // A few frames, so that what changed reaches the client and is acknowledged.
    void sync(int frames = 4)
    {
        player.kept.clear();
        for (int i = 0; i < frames; ++i) {
            frame({&player});
        }
        player.receive();
    }

    const ObjectView* view(int32_t id) const
    {
        const auto found = player.objects.find(static_cast<uint32_t>(id));
        return found != player.objects.end() ? &found->second : nullptr;
    }
    // The records of the object in the updates since the last sync.
    std::vector<UpdateRecord> records(int32_t id) const
    {
        std::vector<UpdateRecord> out;
        for (const fake_client::UpdateMessage& m : player.kept) {
            for (const UpdateRecord& r : m.records) {
                if (r.id == static_cast<uint32_t>(id)) {
                    out.push_back(r);
                }
            }
        }
        return out;
    }
    // The first record of the object since the last sync.
    std::optional<UpdateRecord> record(int32_t id) const
    {
        const std::vector<UpdateRecord> r = records(id);
        if (r.empty()) {
            return std::nullopt;
        }
        return r.front();
    }

    FakeClient player{&hive, "local"};
    int32_t camera = -1;
};
