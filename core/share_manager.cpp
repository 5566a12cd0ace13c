#include "core/share_manager.h"

#include "core/kassert.h"
#include "core/print.h"

#include <new>

ShareObject::~ShareObject() { K_ASSERT(!refcount); }

ShareManager::~ShareManager()
{
    const ShareObject* const s_objects = objects_; // named for the assertion's text
    K_ASSERT(!s_objects);
    while (types_ != nullptr) {
        TypeRecord* const t = types_;
        types_ = t->next;
        delete t;
    }
}

int ShareManager::register_type(uint32_t id, ShareCreateFunction create)
{
    K_ASSERT(create);
    for (const TypeRecord* t = types_; t != nullptr; t = t->next) {
        if (t->id == id) {
            if (t->create == create) {
                return 1;
            }
            print_format(P_ERROR, "Share: Create function mismatch, id 0x%x", id);
            return 0;
        }
    }
    TypeRecord* const t = new (std::nothrow) TypeRecord{types_, id, create};
    if (t == nullptr) {
        return 0;
    }
    types_ = t;
    return 1;
}

ShareObject* ShareManager::acquire(uint32_t id, ...)
{
    va_list args;
    va_start(args, id);
    ShareObject* const object = vacquire(id, args);
    va_end(args);
    return object;
}

ShareObject* ShareManager::vacquire(uint32_t id, va_list args)
{
    // Each callee reads its own copy: a va_list is spent once it has been read.
    for (ShareObject* o = objects_; o != nullptr; o = o->next) {
        va_list copy;
        va_copy(copy, args);
        const int matched = o->match(id, copy);
        va_end(copy);
        if (matched != 0) {
            o->refcount += 1;
            return o;
        }
    }

    const TypeRecord* type = types_;
    while (type != nullptr && type->id != id) {
        type = type->next;
    }
    if (type == nullptr) {
        print_format(P_ERROR, "Share: Unregistered type id 0x%x", id);
        return nullptr;
    }

    va_list copy;
    va_copy(copy, args);
    ShareObject* const object = type->create(copy);
    va_end(copy);
    if (object == nullptr) {
        return nullptr;
    }
    object->refcount = 1;
    object->next = objects_;
    objects_ = object;
    return object;
}

void ShareManager::release(ShareObject* object)
{
    K_ASSERT(object);
    ShareObject** link = &objects_;
    while (*link != nullptr && *link != object) {
        link = &(*link)->next;
    }
    if (*link == nullptr) {
        print_string(P_ERROR, "Share: Tried to release unallocated object");
        return;
    }
    object->refcount -= 1;
    if (object->refcount == 0) {
        *link = object->next;
        object->next = nullptr;
        delete object;
    }
}
