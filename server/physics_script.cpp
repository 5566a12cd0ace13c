#include "server/physics_script.h"

#include "script/kcontext.h"
#include "script/krun.h"

namespace {

// The word before a script object points to its method table, whose word at
// offset 28 points to the class flags.
constexpr uint32_t CLASS_FLAGS_SLOT = 28;

} // namespace

void ContextPhysicsScript::call_function(uint32_t address, uint32_t argument, uint32_t object, int32_t number)
{
    if (context_ == nullptr || address == 0) {
        return;
    }
    const uint32_t args[3] = {argument, object, static_cast<uint32_t>(number)};
    call_address(context_, address, args);
}

uint32_t ContextPhysicsScript::call_method(uint32_t offset, uint32_t object, uint32_t argument)
{
    if (context_ == nullptr || object == 0) {
        return 0;
    }
    const uint32_t args[1] = {argument};
    return ::call_method(context_, offset, object, args) ? context_->result[0] : 0;
}

uint32_t ContextPhysicsScript::class_flags(uint32_t object)
{
    if (context_ == nullptr || object == 0) {
        return 0;
    }
    const uint32_t table = k_load32(context_, object - 4);
    return k_load32(context_, k_load32(context_, table + CLASS_FLAGS_SLOT));
}
