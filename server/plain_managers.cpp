#include "server/plain_managers.h"

int PlainObjectManager::set_property(int32_t, uint32_t, int, SObjArgs) { return 0; }

int PlainObjectManager::class_part_bits(int32_t, int32_t, uint32_t*) { return 0; }

int PlainObjectManager::write_class_parts(int, int32_t, int32_t, int32_t, uint32_t, NetStreamOut*) { return 1; }

int PlainObjectManager::on_create(int32_t, int32_t) { return 1; }

void PlainObjectManager::on_release(int32_t) {}

void PlainObjectManager::reset_client(int) {}
