#include "fsys/stdio2.h"

#include "core/kassert.h"
#include "fsys/dir.h"
#include "host/host_file.h"

namespace {

// Sum of the bytes at their shifts, in the 32-bit arithmetic of the original.
int32_t assemble(std::FILE* file, int count, bool little)
{
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) {
        const int shift = little ? 8 * i : 8 * (count - 1 - i);
        sum += static_cast<uint32_t>(std::fgetc(file)) << shift;
    }
    return static_cast<int32_t>(sum);
}

uint32_t put(uint32_t value, std::FILE* file, int count, bool little)
{
    for (int i = 0; i < count; ++i) {
        const int shift = little ? 8 * i : 8 * (count - 1 - i);
        std::fputc(static_cast<int>((value >> shift) & 0xFF), file);
    }
    return value;
}

} // namespace

std::FILE* open_for_write(const char* fname, int mode)
{
    K_ASSERT(fname);
    if (mode != STDIO2_BINARY && mode != STDIO2_TEXT) {
        return nullptr;
    }
    const Dir path(fname, DIR_FILE);
    if (!path.valid()) {
        return nullptr;
    }
    path.make();
    return host::open_file(fname, host::FileMode::WRITE);
}

int file_exists(const char* name) { return host::file_exists(name) ? 1 : 0; }

int64_t file_size(std::FILE* file)
{
    const long position = std::ftell(file);
    if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    const long size = std::ftell(file);
    std::fseek(file, position, SEEK_SET);
    return size < 0 ? 0 : size;
}

int32_t read_le16(std::FILE* file) { return assemble(file, 2, true); }
int32_t read_le32(std::FILE* file) { return assemble(file, 4, true); }
int32_t read_be16(std::FILE* file) { return assemble(file, 2, false); }
int32_t read_be32(std::FILE* file) { return assemble(file, 4, false); }

uint32_t write_le16(uint32_t value, std::FILE* file) { return put(value, file, 2, true); }
uint32_t write_le32(uint32_t value, std::FILE* file) { return put(value, file, 4, true); }
uint32_t write_be16(uint32_t value, std::FILE* file) { return put(value, file, 2, false); }
uint32_t write_be32(uint32_t value, std::FILE* file) { return put(value, file, 4, false); }
