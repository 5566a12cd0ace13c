#pragma once
// The game client: connects to a server, reads input, draws and plays sound.
class Hive;
class ShareManager;
class ConfigVariable;

class Client {
public:
    Client();
    // Virtual: the engine deletes the client through its base.
    virtual ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Non-zero on success; otherwise "Client: Can't initialize %s" was printed.
    int init(Hive* hive, ShareManager* share);
    // One client frame; 0 asks the engine to shut down.
    int frame(double now);

private:
    void shutdown();

    Hive* hive_ = nullptr;
    ShareManager* share_ = nullptr;
    ConfigVariable* quit_ = nullptr;
    bool mmx_ = false;
    double input_time_ = 0.0; // end of the last input slice, engine seconds
};
