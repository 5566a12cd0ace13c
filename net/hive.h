#pragma once
// The engine's set of network protocols. (Filled in with the transports.)
class Hive {
public:
    Hive() = default;
    ~Hive() = default;
    // 0 on success.
    int init() { return 0; }
};
