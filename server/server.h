#pragma once
// The game server: owns the world, its client slots and the script context.
class Hive;
class ShareManager;
class ConfigVariable;

class Server {
public:
    Server();
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Non-zero on success; on failure the server has printed its reason.
    int init(Hive* hive, ShareManager* share);
    // One server frame at engine time now. While shutting down it accepts no
    // connection; returns 0 only when shutting down and no client slot is used.
    int frame(double now, int shutting_down);

    int clients_in_use() const { return clients_in_use_; }
    // Until client slots exist: lets the engine's shutdown be driven in tests.
    void set_clients_in_use(int n) { clients_in_use_ = n; }

private:
    Hive* hive_ = nullptr;
    ShareManager* share_ = nullptr;
    int clients_in_use_ = 0;
};
