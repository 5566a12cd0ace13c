#pragma once
// The software program's texture record is the rasterizer's own.
#include "soft/texture.h"
