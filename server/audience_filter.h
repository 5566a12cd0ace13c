#pragma once
// The entity by which an object of a linked class (dynamic lights, lens
// flares, meshes, sprites, BSP objects, particles) sits in the map's leaves:
// the visibility walk of a client admits the object when its audience lets
// that client receive it.
#include "core/placement.h"

#include <cstdint>

struct SObjCommon;

constexpr int ENTITY_TYPE_SERVER_OBJECT = 6;
constexpr float AUDIENCE_FILTER_RADIUS = 256.0f;

class AudienceFilter : public Placement {
public:
    AudienceFilter() = default;
    int entity_type() const override { return ENTITY_TYPE_SERVER_OBJECT; }
    // arg: the client being served.
    void visit(uint32_t client) override;

    SObjCommon* object = nullptr;
};
