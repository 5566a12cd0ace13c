#pragma once
// The software program's lighting tables are the rasterizer's own.
#include "soft/lighting_tables.h"
