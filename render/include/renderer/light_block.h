#pragma once
// The software program lights surfaces into the lit span drawers' block.
#include "soft/light_block.h"
