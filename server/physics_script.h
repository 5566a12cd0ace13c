#pragma once
// How the physics reaches the scripts: trigger functions by code address and
// the touch, contact and blocked methods of an entity's script object by
// their byte offsets in its method table. Every call runs at once and to its
// end and may create, move or destroy entities.
#include <cstdint>

constexpr uint32_t PHYS_METHOD_TOUCH = 32;   // answers non-zero to pass through
constexpr uint32_t PHYS_METHOD_CONTACT = 36;
constexpr uint32_t PHYS_METHOD_BLOCKED = 40;

class PhysicsScript {
public:
    virtual ~PhysicsScript() = default;
    // The function at a script code address with (argument, object, trigger number).
    virtual void call_function(uint32_t address, uint32_t argument, uint32_t object, int32_t number) = 0;
    // The method at the byte offset of the object's method table, with the
    // object and one argument; its 32-bit answer.
    virtual uint32_t call_method(uint32_t offset, uint32_t object, uint32_t argument) = 0;
    // The 32-bit class flags of a script object, which find queries match.
    virtual uint32_t class_flags(uint32_t object) = 0;
};

struct kcontext_t;

// The calls through a script context (null: every call does nothing and
// answers 0).
class ContextPhysicsScript final : public PhysicsScript {
public:
    explicit ContextPhysicsScript(kcontext_t* context = nullptr) : context_(context) {}
    void set_context(kcontext_t* context) { context_ = context; }

    void call_function(uint32_t address, uint32_t argument, uint32_t object, int32_t number) override;
    uint32_t call_method(uint32_t offset, uint32_t object, uint32_t argument) override;
    uint32_t class_flags(uint32_t object) override;

private:
    kcontext_t* context_;
};
