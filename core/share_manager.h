#pragma once
// Reference-counted objects shared by server and client in one process.
// (Filled in with the core services.)
class ShareManager {
public:
    ShareManager() = default;
    ~ShareManager() = default;
};
