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

// Sets a property of the object in cell 0 to the values from cell 1 on. An
// object that is not there, or of a class without the property, changes
// nothing: the script cannot tell.
void set_object_cells(Server& s, const BuiltinArgs& a, int property, std::string_view kinds);

// Defines the handler builtin_<name> that sets `property` of the object in
// its first cell from the cells that follow, one per kind: the literal's
// size (its kinds and the NUL) is the cell count with the id.
#define DEFINE_PROPERTY_BUILTIN(name, property, kinds)                                                         \
    DEFINE_BUILTIN(name, sizeof(kinds)) { set_object_cells(s, a, property, kinds); }
