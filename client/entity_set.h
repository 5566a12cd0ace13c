#pragma once
// The client's managers of the eleven replicated object classes, created at
// map load in a fixed order and registered with the update decoder under
// their class numbers, and destroyed at unload.
#include "client/entity_records.h"

class ClientMap;
class ClientSound;
class UpdateDecoder;

// Map lamps get a slot per lamp of the map's light file; without that file
// the map's lamps are addressed directly in a table of this size.
constexpr int MAP_LAMP_SLOTS = 256;

constexpr int OBJCLASS_MAPLAMP = 1;
constexpr int OBJCLASS_DYNALAMP = 2;
constexpr int OBJCLASS_LIGHT = 3;
constexpr int OBJCLASS_FLARE = 4;
constexpr int OBJCLASS_MESH = 5;
constexpr int OBJCLASS_SPRITE = 6;
constexpr int OBJCLASS_BSP = 7;
constexpr int OBJCLASS_PARTICLES = 8;
constexpr int OBJCLASS_SOUND = 9;
constexpr int OBJCLASS_ICON = 11;
constexpr int OBJCLASS_COUNT = 12; // 1 ... 11

class EntitySet {
public:
    // 1, or 0 when a manager cannot be created (the classes made so far stay registered).
    int create(UpdateDecoder& decoder, ClientMap& world, ClientSound* sound);
    void unregister(UpdateDecoder& decoder);
    void destroy(ClientSound* sound);
    // Binding to a renderer: nothing here keeps pixels, so only the state is kept.
    void start() { started_ = true; }
    void stop() { started_ = false; }
    bool started() const { return started_; }

    ModelRecords models;
    LampRecords map_lamps;
    LampRecords dynamic_lamps;
    LightRecords lights;
    FlareRecords flares;
    SpriteRecords sprites;
    MeshRecords meshes;
    EmitterRecords emitters;
    CameraRecords camera;
    IconRecords icons;

private:
    bool started_ = false;
};
