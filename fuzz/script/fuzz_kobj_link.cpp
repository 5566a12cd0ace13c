// "KOBJ" files through the linker: any input links or is refused with a
// message, never an assertion or a fault. The CRC check is bypassed by
// writing the right trailer, so that the structure checks are reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klink.h"
#include "script/krun.h"

namespace {

std::vector<uint8_t> input;

uint32_t serve(const char*, char** buffer)
{
    *buffer = static_cast<char*>(std::malloc(input.size() + 1));
    std::memcpy(*buffer, input.data(), input.size());
    return static_cast<uint32_t>(input.size());
}

uint32_t crc_register(const uint8_t* p, size_t n)
{
    uint32_t reg = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        reg ^= p[i];
        for (int b = 0; b < 8; ++b) {
            reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
        }
    }
    return reg;
}

void drop(void*, const char*) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint32_t ticks = 70;
    static const kbuiltin_t builtins[] = {{"note", nullptr, nullptr, 0}, {"_ticks_per_second", nullptr, &ticks, 4},
                                          {nullptr, nullptr, nullptr, 0}};
    static kcontext_t* c = nullptr;
    if (c == nullptr) {
        c = K_AllocContext(nullptr, builtins, nullptr, 64u << 20);
        kiofuncs_t io{};
        io.puts = drop;
        io.fileread = serve;
        kio_install(c, &io);
    }
    if (size > 65536) {
        return 0;
    }
    // A valid header around the input as data, so the scan sees it.
    input.assign({'K', 'O', 'B', 'J', 'I', 'N', 'T', 'L', 1, 3, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 4; ++i) {
        input.push_back(static_cast<uint8_t>(size >> (8 * i)));
    }
    input.insert(input.end(), data, data + size);
    const uint32_t crc = crc_register(input.data(), input.size());
    for (int i = 0; i < 4; ++i) {
        input.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
    const char* names[] = {"a.kob", "b.kob", nullptr};
    if (K_Link(c, names) == 1) {
        if (K_AllocResources(c, nullptr) == 1) {
            K_StartInits(c);
        }
        K_Unlink(c);
    }
    return 0;
}
