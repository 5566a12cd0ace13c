#pragma once
// State shared by the source files of GLSys.
#include "gl/gl_bind.h"

class ConfigVariable;

namespace GLSys::detail {

extern ConfigVariable* variables[VARIABLES];

// The five cached modes, -1 while the GL state is unknown.
struct StateCache {
    int culling = -1;
    int polygon_mode = -1;
    int depth = -1;
    int texturing = -1;
    int blending = -1;
};
extern StateCache state;

bool is_true(Variable v);
int32_t int_value(Variable v);

} // namespace GLSys::detail
