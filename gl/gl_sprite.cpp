#include "world/view/sprite.h"

// The world renderer's passes draw nothing of it yet.
void Sprite::draw(PolyRenderer&) {}
