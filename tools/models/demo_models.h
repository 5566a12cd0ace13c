#pragma once
// Models of our own, for tests and the demo (resource "demo", z up):
// - "cube": a cube of side 32 centred on its origin, one group, each face a
//   strip of four corners with its own vertices and axis normal;
// - "figure": a body (group 0, poses 0 upright, 1 leaning, 2 crouching), a
//   head hanging on the body's neck point (group 1, one frame) and an arm
//   hanging on its shoulder point (group 2, frames 4 down and 5 raised); a
//   joint vertex blends the body and the arm. The neck and the shoulder are
//   tagged points: vertices no triangle uses.
// - "walker" (no resource): one group of six boxes (torso, head, legs, arms)
//   with the frames of the meta-model "walker.tmm": 0 to 7 a walking step,
//   8 and 9 the right arm raised.
// - "door" and "steps": still boxes of one group and one frame, the gallery's
//   door (128 x 16 x 160 about its centre) and the flight of four steps up
//   to the loft (128 long, its foot's middle at the origin, rising toward -x);
// Each has one 32 x 32 skin, "<name>s0" (pattern "<name>s0").
#include "tools/models/model_writer.h"
#include "tools/textures/texture_writer.h"

#include <string>

namespace tools {

constexpr uint32_t FIGURE_NECK = 24;     // vertex numbers of the tagged points
constexpr uint32_t FIGURE_SHOULDER = 25;
constexpr uint32_t FIGURE_JOINT = 74;    // the blended vertex
constexpr int32_t FIGURE_ARM_DOWN = 4;
constexpr int32_t FIGURE_ARM_RAISED = 5;
constexpr int WALKER_WALK_FRAMES = 8;

// Corners of an axis-aligned box in a group's frame space, with the axis
// normal numbers of the table the engine uses (+x 52, -x 143, +y 32, -y 104,
// +z 5, -z 84).
struct ModelBox {
    float lo[3];
    float hi[3];
};

// Adds a box's 24 vertices (4 a face) to the design's vertices as `group`,
// and its six strips to skin 0; vertex numbers start at `first`. Faces wind
// clockwise seen from outside.
void add_box_faces(ModelDesign& design, uint32_t first, uint32_t group);
// The 24 points of a box in frame order, for a frame with origin lo and
// scale (hi - lo) / 255.
void box_frame(ModelFrame& frame, int32_t group, const ModelBox& box);

ModelDesign cube_model();
ModelDesign figure_model();
ModelDesign walker_model();
ModelDesign door_model();
ModelDesign steps_model();
TextureImage model_skin(int seed);

// Writes base/models/demo/{cube,figure,door,steps}.txt, base/models/walker.txt and their skins; false after
// printing why.
bool write_demo_models(const std::string& base);

} // namespace tools
