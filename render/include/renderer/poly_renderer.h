#pragma once
// The software program's polygon renderer.
#include "render/poly_renderer.h"
