#include "world/view/sprite.h"
#include "renderer/poly_renderer.h"

#include "core/sine_table.h"
#include "gl/gl_entity_draw.h"
#include "host/host_gl.h"
#include "renderer/screen_projection.h"

#include <cmath>

void table_sine_cosine(float angle, float& sine, float& cosine)
{
    if (sine_table != nullptr && sine_table->values != nullptr) {
        const int32_t k = sine_table->index(angle);
        sine = sine_table->sine_at(k);
        cosine = sine_table->cosine_at(k);
        return;
    }
    sine = std::sin(angle);
    cosine = std::cos(angle);
}

void draw_sprite_transparent(Sprite& sprite, ScreenProjection& projection)
{
    // Nearer than the near plane the square would be cut by it.
    if (!projection.var_true(GPV_SPRITES) || sprite.anim.slot == nullptr ||
        !(plane_distance(projection.view_plane, sprite.position) >= GL_NEAR_DISTANCE)) {
        return;
    }
    // A frame that can't be loaded is not drawn.
    Texture* const tx = sprite.anim.slot->get_frame(sprite.anim, projection.time);
    if (tx == nullptr || (tx->flags & TEXTURE_TRANSPARENT) == 0) {
        return;
    }
    if (tx->bind() == 0) {
        return;
    }
    GLSys::set_culling(0);
    GLSys::set_depth(5);
    GLSys::set_polygon_mode(2);
    GLSys::set_texturing(1);
    GLSys::set_blending(1);
    // Texture corner (s, t) sits at P + (s - 1/2) w R + (t - 1/2) h U.
    const float w = static_cast<float>(tx->usize);
    const float h = static_cast<float>(tx->vsize);
    const float corners[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}};
    glBegin(GL_QUADS);
    for (const auto& c : corners) {
        const Vector v = vec_combine(sprite.position, projection.right, (c[0] - 0.5f) * w, projection.down,
                                     (c[1] - 0.5f) * h);
        glTexCoord2f(c[0], c[1]);
        glVertex3fv(&v.x);
    }
    glEnd();
    GLSys::report_errors("End from draw_sprite_transparent()");
}

void Sprite::draw(PolyRenderer& renderer) { draw_sprite_transparent(*this, *renderer.projection); }
