// Any bytes as "volume.txt": a set that loads is walked in every tree of
// every model, by points and by segments, and used as a trigger source.
#include "fuzz/world/fuzz_world_files.h"
#include "world/tree_cast.h"
#include "world/volume_set.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::WorldFiles files;
    if (!files.put("volume.txt", data, size)) {
        return 0;
    }
    FileStream* const stream = fsys->open("volume.txt", FSYS_TEXT);
    if (stream == nullptr) {
        return 0;
    }
    VolumeSet set;
    uint32_t identifier = 0;
    const int loaded = read_volume(set, stream, &identifier);
    stream->close();
    if (loaded == 0) {
        return 0;
    }
    volatile int32_t sink = set.trigger_count();
    float coords[6] = {0, 0, 0, 1, 1, 1};
    std::memcpy(coords, data, size < sizeof coords ? size : sizeof coords);
    const Vector points[3] = {{coords[0], coords[1], coords[2]}, {0, 0, 0}, {-3.5f, 17.25f, 1e4f}};
    const Vector direction = {coords[3], coords[4], coords[5]};
    for (int32_t m = 0; m < set.models; ++m) {
        for (int32_t t = 0; t < set.trees; ++t) {
            const VolumeTree& tree = set.tree(m, t);
            for (const Vector& p : points) {
                sink = sink + tree_point_contents(tree, p);
                const VolumeElement* const leaf = tree_leaf_at(tree, p);
                for (int32_t i = 0; leaf != nullptr && i < leaf->trigger_count; ++i) {
                    sink = sink + leaf->triggers[i];
                }
                TreeHit hit;
                sink = sink + tree_cast_segment(tree, hit, p, direction, 100.0f, 0);
                const Vector across = {tree.box_max.x - p.x, tree.box_max.y - p.y, tree.box_max.z - p.z};
                sink = sink + tree_cast_segment(tree, hit, p, across, 1.0f, 0x1FFF);
            }
        }
    }
    (void)sink;
    return 0;
}
