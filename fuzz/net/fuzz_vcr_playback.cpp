// Plays arbitrary bytes as a recording through the playback protocol.
#include "core/print.h"
#include "fsys/fsys.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/vcr_protocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void quiet(int, const char*, uintptr_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string directory;
    if (directory.empty()) {
        print_init();
        set_stream_handler(quiet, 0);
        char name[64];
        std::snprintf(name, sizeof name, "/tmp/fuzz_vcr_%p", static_cast<void*>(&directory));
        directory = name;
        std::filesystem::create_directories(directory);
        fsys = new FSys;
        fsys->init();
        fsys->mount(directory.c_str(), 1, 0);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(directory, ignored);
        });
    }
    std::FILE* const f = std::fopen((directory + "/input.vcr").c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    VCRProtocol protocol;
    NetSocket* socket = nullptr;
    if (protocol.connect(&socket, "vcr.input", "", 0) != 10) {
        return 0;
    }
    for (int guard = 0; guard < 100000 && socket->state == 0; ++guard) {
        NetStreamIn in;
        int id = 0;
        int32_t bits = 0;
        if (socket->read(&in, &id, &bits) != 0) {
            break;
        }
        if (id < 0 || id > 255 || bits < 0 || bits > 64000) {
            __builtin_trap();
        }
        while (in.length() >= 32) {
            in.read32();
        }
        if (in.length() > 0) {
            in.read_bits(in.length());
        }
        in.detach();
    }
    protocol.close_socket(socket);
    return 0;
}
