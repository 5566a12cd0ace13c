#pragma once
// The least scripts a server map needs: spawnclient answers the client's slot
// plus one (never 0), so every player enters; archive saves nothing.
inline const char* const SPAWN_SCRIPT = R"(
.global spawnclient, archive
.code
.func spawnclient, 8
    pushargs
    load1
    push 1
    add
    ret1
.func archive, 8
    push 0
    ret1
)";
