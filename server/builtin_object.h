#pragma once
// What builtins do to server objects: an id from a script is checked before
// any manager sees it, a property is set with the script's values in its
// order, and a creation sets the object's first properties or gives it up.
#include "server/builtin_call.h"
#include "server/sobj_manager.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

// One property with its values, for a creation.
struct ObjectProperty {
    int property;
    SObjArgs args;
};

// An object id from a script: 0 or greater and of a class the server manages;
// anything else ends the program naming the builtin.
int32_t object_of(const Server& s, kcontext_t* c, int32_t id);

// Sets one property of the object; an object that is not there or a class
// without the property changes nothing, as the script cannot tell.
void set_object_property(Server& s, kcontext_t* c, int32_t id, int property, SObjArgs args);

// The object goes at the next purge; one that is not there only gets a warning.
void destroy_object(Server& s, kcontext_t* c, int32_t id);

// An object of the class for every client with its first properties set: its
// id, the creation's own negative answer, or -1 when a property is refused
// (the object is destroyed again).
int32_t create_object(Server& s, int object_class, bool transient, std::initializer_list<ObjectProperty> first);

// Script cells as a property's values, by kind: 'i' an int, 'f' a float
// widened to a double, 's' a reference to text.
class PropertyValues {
public:
    static constexpr size_t MAX = 12;
    PropertyValues(const BuiltinArgs& a, uint32_t first, std::string_view kinds);
    SObjArgs args() const { return {values_.data(), count_}; }

private:
    std::array<SObjArg, MAX> values_{};
    size_t count_ = 0;
};

// The object in cell 0, the property's values from cell 1 on.
void set_object_cells(Server& s, const BuiltinArgs& a, int property, std::string_view kinds);
