#pragma once
// A game client for server tests and benchmarks: it connects through a hive
// ("local") or a protocol ("127.0.0.1"), answers the accept and the map
// load, sends input with the stamp of its latest update, and decodes every
// update with the reference decoder into a view of the objects it holds.
#include "tools/fake_client/client_view.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class Hive;
class NetProtocol;
class NetSocket;

namespace fake_client {

// Message ids of the game protocol, as the client sees them.
constexpr int MSG_INPUT = 0;
constexpr int MSG_IMPULSES = 48;
constexpr int MSG_COMMAND = 49;
constexpr int MSG_MAPLOADED = 50;
constexpr int MSG_DUMMY = 224;
constexpr int MSG_UPDATE = 0x60;
constexpr int MSG_REJECT = 0x61;
constexpr int MSG_ACCEPT = 0xB0;
constexpr int MSG_LOADMAP = 0xB1;
constexpr int MSG_MAPCHANGE = 0xB2;
constexpr int MSG_TEXT = 0xC1;

struct Options {
    std::string name = "fake";
    uint32_t protocol_version = 10;
    uint32_t magic = 0x4B5652;
    int32_t cps = 20000;
    bool player = true;
    bool cheater = false;
    bool administrator = false;
    bool answer_map = true;  // answer the map load
    int32_t answer_word = 0; // with 0: the word the server sent
    bool acknowledge = true; // false: every input acknowledges nothing (-1)
    bool raw_request = false; // send request_bytes as the connection request
    std::vector<uint8_t> request_bytes;
};

class FakeClient : public ClientView {
public:
    FakeClient(Hive* hive, const char* address, const Options& options = {});
    FakeClient(NetProtocol* protocol, const char* address, const Options& options = {});
    ~FakeClient();
    FakeClient(const FakeClient&) = delete;
    FakeClient& operator=(const FakeClient&) = delete;

    // Offers the connection request: true once connected.
    bool connect();
    // Reads and handles every waiting message (at most `limit`).
    void receive(int limit = 100000);
    // The input message with the latest stamp (or -1 when it does not
    // acknowledge), analog values and state bits, then a send.
    bool send_input(const std::vector<float>& analog = {}, uint32_t state = 0);
    bool send_input_stamp(int32_t stamp, const std::vector<float>& analog = {}, uint32_t state = 0);
    bool send_impulses(const std::vector<uint8_t>& codes);
    bool send_command(const std::string& text);
    bool send_map_loaded(const std::string& name, uint32_t word);
    // Any message: the first `bits` bits of the bytes.
    bool send_raw(int id, int type, const std::vector<uint8_t>& bytes, int32_t bits);
    void flush();
    void close();

    NetSocket* socket() const { return socket_; }
    bool connected() const { return socket_ != nullptr; }
    bool lost() const;
    const Options& options() const { return options_; }
    std::vector<uint8_t> request() const;

    bool accepted = false;
    bool rejected = false;
    std::string reject_reason;
    std::string base, title, commands;
    std::vector<std::pair<int, std::string>> texts;
    int load_maps = 0;
    std::string map_name;
    uint32_t map_word = 0;
    int map_changes = 0;
    std::vector<int> unexpected; // ids of messages no handler knows

    int32_t updates_received = 0;
    std::vector<UpdateMessage> kept; // the decoded updates, when keep_updates
    bool keep_updates = false;
    int64_t update_bits = 0;

private:
    void handle(int id, const uint8_t* data, int32_t bits);
    bool write(int id, int type, const std::vector<uint8_t>& bytes, int32_t bits);

    Hive* hive_ = nullptr;
    NetProtocol* protocol_ = nullptr;
    std::string address_;
    Options options_;
    NetSocket* socket_ = nullptr;
};

} // namespace fake_client
