// The mesh draw of the OpenGL program: every vertex is blended from the two
// pose frames, placed by its group's matrix, lit on the processor once a
// frame into one vertex array, then the chains are sent as strips and fans.
#include "renderer/mesh_object.h"

#include "gl/gl_entity_draw.h"
#include "gl/gl_generated_textures.h"
#include "host/host_gl.h"
#include "renderer/screen_projection.h"
#include "renderer/texture.h"
#include "world/mesh_light.h"

#include <algorithm>
#include <cmath>

namespace {

// The lights fold in the software program's steps: ambient bytes x 128 and
// light levels up to 128; colours here run 0..1.
constexpr float LIGHT_TO_COLOUR = 1.0f / 32768.0f;
constexpr int32_t ENV_BITMAP_BYTES = ENV_BITMAP_SIZE * ENV_BITMAP_SIZE * 4;

MeshVertexOut vertex_array[MESH_MAX_VERTS];

GLTextureOwner& env_owner(int level)
{
    static GLTextureOwner owners[ENV_BITMAPS];
    return owners[level];
}

// One group's walk through its two frames this frame.
struct GroupCursor {
    const GLMeshFramePoint* point1;
    const GLMeshFramePoint* point2;
    Vector scale1; // frame scale x its weight
    Vector scale2;
    float w1;
    float w2;
    Matrix m; // group space to world space
};

struct VertexLight {
    MeshLightVector channel[3];
    Vector eye;
    Matrix environment;
    float opacity;
    float specular;
};

// R v without the translation.
Vector rotate(const Matrix& m, const Vector& v)
{
    const float* r = m.m;
    return {r[0] * v.x + r[1] * v.y + r[2] * v.z, r[4] * v.x + r[5] * v.y + r[6] * v.z,
            r[8] * v.x + r[9] * v.y + r[10] * v.z};
}

// The next point of a group: position in world space and rotated normal.
void next_point(GroupCursor& g, Vector& position, Vector& normal)
{
    const GLMeshFramePoint& p1 = *g.point1++;
    const GLMeshFramePoint& p2 = *g.point2++;
    const Vector local = {g.scale1.x * p1.x + g.scale2.x * p2.x, g.scale1.y * p1.y + g.scale2.y * p2.y,
                          g.scale1.z * p1.z + g.scale2.z * p2.z};
    mat_rotate_vector(position, g.m, local);
    Vector n = {0.0f, 0.0f, 0.0f};
    vec_add_scaled(n, mesh_normals[p1.n], g.w1);
    vec_add_scaled(n, mesh_normals[p2.n], g.w2);
    normal = rotate(g.m, n);
}

float unit_clamp(float v) { return v >= 0.0f ? std::min(v, 1.0f) : 0.0f; } // NaN: 0

void light_vertex(MeshVertexOut& out, const Vector& position, const Vector& normal, const VertexLight& light)
{
    std::copy_n(&position.x, 3, out.position);
    std::copy_n(&normal.x, 3, out.normal);
    for (int c = 0; c < 3; ++c) {
        out.diffuse[c] = unit_clamp(vec_dot(normal, light.channel[c].direction) + light.channel[c].constant);
    }
    out.diffuse[3] = light.opacity;
    if (!(light.specular > 0.0f)) {
        return;
    }
    Vector e = position;
    vec_sub(e, light.eye);
    Vector r = e;
    vec_add_scaled(r, normal, -2.0f * vec_dot(normal, e));
    r = rotate(light.environment, r);
    vec_normalize(r);
    std::copy_n(&r.x, 3, out.reflection);
    for (int c = 0; c < 3; ++c) {
        out.specular[c] =
            unit_clamp((vec_dot(r, light.channel[c].direction) + light.channel[c].constant) * light.specular);
    }
    out.specular[3] = 1.0f;
}

// Fills the vertex array in the model's vertex order; the count written.
int32_t build_vertices(const GLMeshData& data, const MeshPose* pose, const Matrix& object,
                       const VertexLight& light)
{
    GroupCursor groups[MESH_MAX_GROUPS];
    int32_t emitted = 0;
    for (int32_t k = 0; k < data.groups(); ++k) {
        GroupCursor& g = groups[k];
        const GLMeshFrame& f1 = data.frame[static_cast<size_t>(pose[k].frame1)];
        const GLMeshFrame& f2 = data.frame[static_cast<size_t>(pose[k].frame2)];
        g.w1 = 1.0f - pose[k].t;
        g.w2 = pose[k].t;
        g.point1 = &data.frame_point[static_cast<size_t>(f1.first_point)];
        g.point2 = &data.frame_point[static_cast<size_t>(f2.first_point)];
        g.scale1 = {f1.scale[0] * g.w1, f1.scale[1] * g.w1, f1.scale[2] * g.w1};
        g.scale2 = {f2.scale[0] * g.w2, f2.scale[1] * g.w2, f2.scale[2] * g.w2};
        const Vector origin = {g.w1 * f1.offset[0] + g.w2 * f2.offset[0], g.w1 * f1.offset[1] + g.w2 * f2.offset[1],
                               g.w1 * f1.offset[2] + g.w2 * f2.offset[2]};
        const int32_t pivot = data.group[static_cast<size_t>(k)].pivot_id;
        if (pivot == 0) {
            Matrix shift;
            mat_translation(shift, origin);
            mat_multiply(g.m, object, shift);
        } else {
            // The loader let only vertices of earlier groups be pivots.
            mat_copy(g.m, groups[data.vertex[static_cast<size_t>(pivot)].group].m);
            Vector t = rotate(g.m, origin);
            const float* at = vertex_array[pivot].position;
            vec_add(t, Vector{at[0], at[1], at[2]});
            mat_set_translation(g.m, t);
        }
        for (int32_t i = 0; i < data.set[static_cast<size_t>(k)].vertices; ++i) {
            Vector position;
            Vector normal;
            next_point(g, position, normal);
            light_vertex(vertex_array[emitted++], position, normal, light);
        }
    }
    for (size_t k = static_cast<size_t>(data.groups()); k < data.set.size(); ++k) {
        const GLMeshSet& set = data.set[k];
        const float share = 1.0f / static_cast<float>(set.groups);
        for (int32_t i = 0; i < set.vertices; ++i) {
            Vector position = {0.0f, 0.0f, 0.0f};
            Vector normal = {0.0f, 0.0f, 0.0f};
            for (int32_t m = 0; m < set.groups; ++m) {
                Vector p;
                Vector n;
                next_point(groups[data.group_ref[static_cast<size_t>(set.first_ref + m)]], p, n);
                vec_add(position, p);
                vec_add(normal, n);
            }
            light_vertex(vertex_array[emitted++], {position.x * share, position.y * share, position.z * share},
                         {normal.x * share, normal.y * share, normal.z * share}, light);
        }
    }
    return emitted;
}

// Every chain of every skin; `pass` 0 the textured one, 1 the specular one.
void draw_chains(const MeshModel& model, int pass)
{
    const GLMeshData& data = *model.model;
    for (size_t i = 0; i < data.skin_image.size(); ++i) {
        const GLMeshSkin& skin = data.skin_image[i];
        float su = 1.0f;
        float tv = 1.0f;
        if (pass == 0) {
            Texture* const texture = bind_skin(const_cast<TextureResource&>(model.skin[i]));
            if (texture == nullptr) {
                continue;
            }
            su = 1.0f / static_cast<float>(texture->usize);
            tv = 1.0f / static_cast<float>(texture->vsize);
        }
        const int32_t chains = skin.strips + skin.fans;
        for (int32_t c = 0; c < chains; ++c) {
            const GLMeshTriangleChain& chain = data.triangle_chain[static_cast<size_t>(skin.first_strip + c)];
            glBegin(c < skin.strips ? GL_TRIANGLE_STRIP : GL_TRIANGLE_FAN);
            for (int32_t n = 0; n < chain.count; ++n) {
                const GLMeshTriangleVertex& corner = data.triangle_vertex[static_cast<size_t>(chain.first + n)];
                const MeshVertexOut& v = vertex_array[corner.vertex];
                if (pass == 0) {
                    glColor4fv(v.diffuse);
                    glTexCoord2f(static_cast<float>(corner.s) * su, static_cast<float>(corner.t) * tv);
                } else {
                    glColor4fv(v.specular);
                    glTexCoord2f(v.reflection[0], v.reflection[1]);
                }
                glVertex3fv(v.position);
            }
            glEnd();
        }
    }
    GLSys::report_errors("End from MeshObject::draw()");
}

} // namespace

const MeshVertexOut* mesh_vertex_array() { return vertex_array; }

int get_env_bitmap(int level)
{
    if (level < 0 || level >= ENV_BITMAPS) {
        return 0;
    }
    GLTextureOwner& owner = env_owner(level);
    owner.set_size(ENV_BITMAP_BYTES);
    return bind_generated_texture(owner, ENV_BITMAP_SIZE, GLTEX_LIGHTMAP, [level] { return env_bitmap_texels(level); });
}

void MeshObject::draw(ScreenProjection& projection)
{
    if (!projection.var_true(GPV_MESHMODELS) || owner == nullptr || owner->touch() == 0) {
        return;
    }
    const GLMeshData& data = *owner->model;
    for (int32_t k = 0; k < data.groups(); ++k) {
        if (!mesh_frame_of_group(data, pose[k].frame1, k) || !mesh_frame_of_group(data, pose[k].frame2, k)) {
            return;
        }
    }

    VertexLight light;
    Matrix identity;
    mat_identity(identity);
    mesh_light_start(light.channel, skin_colour);
    for (const EntityLink* l = light_list_a; l != nullptr; l = l->next) {
        mesh_light_add(light.channel, *static_cast<const LightSource*>(l->entity), identity, position, false);
    }
    for (const EntityLink* l = light_list_b; l != nullptr; l = l->next) {
        mesh_light_add(light.channel, *static_cast<const LightSource*>(l->entity), identity, position, true);
    }
    for (MeshLightVector& v : light.channel) {
        v.direction = {v.direction.x * LIGHT_TO_COLOUR, v.direction.y * LIGHT_TO_COLOUR,
                       v.direction.z * LIGHT_TO_COLOUR};
        v.constant *= LIGHT_TO_COLOUR;
    }
    Vector axis = light.channel[0].direction;
    axis.z += 1.0f;
    mat_from_direction(light.environment, axis);
    light.eye = projection.position;
    light.opacity = opacity;
    light.specular = specular_strength;
    build_vertices(data, pose, transform, light);

    GLSys::set_culling(2);
    GLSys::set_polygon_mode(2);
    if (opacity == 1.0f) {
        GLSys::set_depth(2);
        GLSys::set_blending(0);
    } else {
        GLSys::set_depth(5);
        GLSys::set_blending(1);
    }
    if (!projection.var_true(GPV_LIGHTING)) {
        GLSys::set_texturing(1);
    } else {
        GLSys::set_texturing(projection.var_true(GPV_TEXTURE) ? 2 : 0);
    }
    draw_chains(*owner, 0);

    // Reflections are only worked out for a strength above 0.
    if (!projection.var_true(GPV_MESHSPECULAR) || !(specular_strength > 0.0f)) {
        return;
    }
    GLSys::set_blending(3);
    GLSys::set_texturing(2);
    if (get_env_bitmap(specular_level) == 0) {
        return;
    }
    draw_chains(*owner, 1);
}
