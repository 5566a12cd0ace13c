// The locator's box query of the tick against its node walk.
#include "server/ph_locator.h"

#include <gtest/gtest.h>

#include <random>

// The tick's box query must give what the node walk gives, in its order
// (nearest of equal hits is the first found), less an entity's relations,
// also after entities were relinked, moved between nodes and unlinked, and
// when more records are linked than a world holds, whether the boxes over
// runs of entities were fitted again since the moves or not.
TEST(PhysicsLocator, TickQueryKeepsTheWalksOrder)
{
    for (const int32_t records : {PHYS_ENTITIES, PHYS_ENTITIES + 44}) {
        PhysicsLocator locator;
        locator.build(Vector{-500, -500, -100}, Vector{500, 500, 100});
        std::mt19937 random(11);
        std::uniform_real_distribution<float> coord(-520, 520);
        std::uniform_real_distribution<float> size(0, 60);
        static PhysicalEntity entities[PHYS_ENTITIES + 44];
        for (int32_t i = 0; i < records; ++i) {
            entities[i] = PhysicalEntity{};
            entities[i].number = i;
            entities[i].position = Vector{coord(random), coord(random), coord(random) / 5};
            entities[i].radius = size(random);
            entities[i].owner = i % 9 == 0 ? static_cast<int32_t>(random() % static_cast<uint32_t>(records)) : -1;
            locator.link(&entities[i]);
        }
        for (int round = 0; round < 300; ++round) {
            // The boxes that pass over runs of entities only grow until the
            // tick fits them again: both must answer alike.
            if (round % 5 == 0) {
                locator.tighten();
            }
            PhysicalEntity& e = entities[random() % static_cast<uint32_t>(records)];
            // Small moves keep most in their node and put them first there.
            const float step = round % 3 == 0 ? 200.0f : 5.0f;
            e.position.x += step * (coord(random) / 520);
            e.position.y += step * (coord(random) / 520);
            if (random() % 7 == 0) {
                locator.unlink(&e);
            } else {
                locator.link(&e);
            }
            const Vector p = {coord(random), coord(random), coord(random) / 5};
            const float r = size(random) * 2;
            const Vector lo = {p.x - r, p.y - r, p.z - r};
            const Vector hi = {p.x + r, p.y + r / 2, p.z + r};
            EntityList walked;
            EntityList volumes;
            EntityList moving;
            locator.in_box(lo, hi, walked);
            // Every other query leaves out what the moved entity is related to.
            const PhysicalEntity* const apart = round % 2 == 0 ? &e : nullptr;
            if (apart != nullptr) {
                walked.drop_related(apart);
            }
            locator.candidates_in_box(lo, hi, 0, &volumes, true, &moving, true, apart);
            ASSERT_EQ(volumes.count, walked.count) << records << " records, round " << round;
            ASSERT_EQ(moving.count, walked.count) << records << " records, round " << round;
            for (int32_t k = 0; k < walked.count; ++k) {
                ASSERT_EQ(volumes.items[k], walked.items[k]) << records << " records, round " << round << ", " << k;
                ASSERT_EQ(moving.items[k], walked.items[k]) << records << " records, round " << round << ", " << k;
            }
        }
        locator.clear();
        for (int32_t i = 0; i < records; ++i) {
            entities[i] = PhysicalEntity{};
        }
    }
}
