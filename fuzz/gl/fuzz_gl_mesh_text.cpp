// Reads any bytes as the OpenGL program's model text, then walks what loaded
// as the draw does, frame by frame and chain by chain: an index the draw
// would follow out of its array, or a pivot not yet emitted, traps.
#include "gl/gl_mesh_data.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void check(bool ok)
{
    if (!ok) {
        __builtin_trap();
    }
}

// The element the draw would read; an index past the array traps.
template <typename T> const T& item(const MeshArray<T>& array, size_t i)
{
    check(i < array.size());
    return array[i];
}

void walk(const GLMeshData& m)
{
    check(m.vertices() <= MESH_MAX_VERTS && m.set.size() >= m.group.size());
    // Points each group's frames must give.
    std::vector<int64_t> taken(m.group.size(), 0);
    int32_t emitted = 0;
    for (size_t k = 0; k < m.group.size(); ++k) {
        const GLMeshGroup& g = m.group[k];
        if (g.pivot_id != 0) {
            check(g.pivot_id > 0 && g.pivot_id < emitted);
            const int32_t owner = item(m.vertex, static_cast<size_t>(g.pivot_id)).group;
            check(owner >= 0 && static_cast<size_t>(owner) < k);
        }
        emitted += m.set[k].vertices;
        taken[k] += m.set[k].vertices;
    }
    for (size_t k = m.group.size(); k < m.set.size(); ++k) {
        const GLMeshSet& s = m.set[k];
        check(s.groups >= 1 && s.groups < INV_TABLE_SIZE);
        for (int32_t i = 0; i < s.groups; ++i) {
            const int32_t g = item(m.group_ref, static_cast<size_t>(s.first_ref + i));
            check(g >= 0 && g < m.groups());
            taken[static_cast<size_t>(g)] += s.vertices;
        }
        emitted += s.vertices;
    }
    check(emitted == m.vertices());
    for (size_t k = 0; k < m.group.size(); ++k) {
        check(taken[k] == m.group[k].points);
    }
    for (int32_t f = 0; f < m.frames(); ++f) {
        const GLMeshFrame& frame = m.frame[static_cast<size_t>(f)];
        check(mesh_frame_of_group(m, f, frame.group_id));
        const size_t first = static_cast<size_t>(frame.first_point);
        const size_t points = static_cast<size_t>(item(m.group, static_cast<size_t>(frame.group_id)).points);
        check(first + points <= m.frame_point.size());
        for (size_t i = first; i < first + points; ++i) {
            check(m.frame_point[i].n < MESH_NORMALS);
        }
    }
    for (const GLMeshSkin& skin : m.skin_image) {
        check(skin.first_fan == skin.first_strip + skin.strips);
        const size_t chains = static_cast<size_t>(skin.first_fan + skin.fans);
        check(chains <= m.triangle_chain.size());
        for (size_t c = static_cast<size_t>(skin.first_strip); c < chains; ++c) {
            const GLMeshTriangleChain& chain = m.triangle_chain[c];
            for (int32_t i = 0; i < chain.count; ++i) {
                const int32_t v = item(m.triangle_vertex, static_cast<size_t>(chain.first + i)).vertex;
                check(v >= 0 && v < m.vertices());
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GLMeshData model;
    std::string why;
    if (read_mesh_text(std::string_view(reinterpret_cast<const char*>(data), size), model, why)) {
        walk(model);
    } else {
        check(!why.empty() && model.vertex.empty());
    }
    return 0;
}
