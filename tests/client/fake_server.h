#pragma once
// A small game server for the client's tests: accepts one connection through
// a hive, answers with the messages a test asks for, writes object updates
// with an encoder of its own, and reads back what the client sends. It
// shares nothing with the client's reading of these messages.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class Hive;
class NetSocket;
class NetStreamOut;

namespace fake {

// Message ids as the server sends and reads them.
constexpr int INPUT = 0;
constexpr int IMPULSES = 48;
constexpr int COMMAND = 49;
constexpr int MAPLOADED = 50;
constexpr int UPDATE = 0x60;
constexpr int REJECT = 0x61;
constexpr int ACCEPT = 0xB0;
constexpr int MAPLOAD = 0xB1;
constexpr int MAPCLOSE = 0xB2;
constexpr int TEXT = 0xC1;
constexpr int DUMMY = 0xE0;

struct Request {
    uint32_t version = 0;
    uint32_t magic = 0;
    std::string name;
    uint32_t rate = 0;
    int player = -1;
    int cheater = -1;
    int administrator = -1;
    bool whole = false; // every field was there
};

// One input message as read: the stamp, each axis's code (-1 absent) and the state word.
struct Input {
    int32_t stamp = 0;
    int32_t axes[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    uint32_t states = 0;
    int32_t bits = 0;
};

struct MapLoaded {
    std::string name;
    uint32_t word = 0;
};

// One object record of an update. Angles are in turns (0 ... 1).
struct Object {
    uint32_t object_class = 0;
    uint32_t index = 0;
    uint32_t count = 0;
    bool remove = false;
    uint32_t mask = 0;
    float position[3] = {};
    float position2[3] = {};
    float angles[3] = {};
    float angles2[3] = {};
    bool wide_index = false;
    // Writes the class's own fields after the common ones.
    std::function<void(NetStreamOut&)> class_part;
};

// The removal of object index of class cls.
inline Object removal(uint32_t cls, uint32_t index)
{
    Object o;
    o.object_class = cls;
    o.index = index;
    o.remove = true;
    return o;
}

uint32_t object_id(const Object& o);

// Writes one name reference: 1 bit data-follows, the index, then the text
// when the client has not had that index's text yet.
class NameCache {
public:
    explicit NameCache(int index_bits) : bits_(index_bits) {}
    void write(NetStreamOut& s, const std::string& name);

private:
    int bits_;
    uint32_t next_ = 0;
    std::map<std::string, uint32_t> known_;
};

class Server {
public:
    explicit Server(Hive& hive) : hive_(hive) {}
    ~Server();

    // Takes a pending connection; false when none.
    bool accept();
    bool connected() const { return socket_ != nullptr; }
    const Request& request() const { return request_; }
    NetSocket* socket() const { return socket_; }
    void close();

    void send_accept(const std::string& base, const std::string& title, const std::string& commands,
                     uint32_t version = 10, uint32_t magic = 0x4B5652);
    void send_reject(const std::string& reason);
    void send_map_load(const std::string& name, uint32_t word);
    void send_map_close();
    void send_text(uint32_t stream, const std::string& text);
    void send_dummy(uint32_t value);
    // A message of any id with the given payload written by f.
    void send(int id, int type, const std::function<void(NetStreamOut&)>& f);
    void send_update(uint32_t stamp, const std::vector<Object>& objects);
    // Bytes of an update message, for tests that feed them to the decoder directly.
    static std::vector<uint8_t> update_payload(uint32_t stamp, const std::vector<Object>& objects, int32_t& bits);
    void flush();

    // Reads everything the client sent.
    void receive();

    std::vector<Input> inputs;
    std::vector<std::vector<uint8_t>> impulses;
    std::vector<std::string> commands;
    std::vector<MapLoaded> maps_loaded;
    int damaged = 0;

private:
    Hive& hive_;
    NetSocket* socket_ = nullptr;
    Request request_;
};

} // namespace fake
