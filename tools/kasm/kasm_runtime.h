#pragma once
// What every script world must define besides its own functions: the
// methods of the base class Object that the script machine calls, here
// doing nothing. Append it to a program's source.
namespace kasm {

inline constexpr const char* OBJECT_BASE_SOURCE = R"(
.code
kasm_object_base_method:
    ret
.xdef 0, kasm_object_base_method, "Object:unlink"
.xdef 0, kasm_object_base_method, "Object:start"
.xdef 0, kasm_object_base_method, "Object:valid"
.xdef 0, kasm_object_base_method, "Object:lock"
.xdef 0, kasm_object_base_method, "Object:unlock"
.xdef 0, kasm_object_base_method, "Object:init"
)";

} // namespace kasm
