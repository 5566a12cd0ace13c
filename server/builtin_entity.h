#pragma once
// What the physics builtins share: the entity checks and the result register
// kept across the script calls a builtin makes.
#include "server/builtin_call.h"

#include <cmath>

class Server;

// A required entity: the number of a live entity, else the script ends.
int32_t required_entity(Server& s, kcontext_t* c, int32_t ent);
// An optional entity: the number of a live entity, else -1 (none); an id
// past the end of the entity table ends the script.
int32_t optional_entity(Server& s, kcontext_t* c, int32_t ent);

inline bool finite_vector(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Trigger functions that a builtin runs before it returns leave their results
// in the register; the calling script sees the builtin as one step, which
// leaves it as it was.
class KeptResult {
public:
    explicit KeptResult(kcontext_t* c) : c_(c), cells_{c->result[0], c->result[1], c->result[2]} {}
    ~KeptResult()
    {
        c_->result[0] = cells_[0];
        c_->result[1] = cells_[1];
        c_->result[2] = cells_[2];
    }
    KeptResult(const KeptResult&) = delete;
    KeptResult& operator=(const KeptResult&) = delete;

private:
    kcontext_t* c_;
    uint32_t cells_[3];
};
