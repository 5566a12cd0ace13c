// chunk_pack: writes a chunked file from files, one chunk each.
//   chunk_pack output FORM ID=file...
// FORM and each ID are four characters.
#include "tools/fsys/chunk_writer.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

bool four(const char* text, char (&out)[5])
{
    if (std::strlen(text) < 4) {
        return false;
    }
    std::memcpy(out, text, 4);
    out[4] = '\0';
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    char form[5];
    if (argc < 3 || std::strlen(argv[2]) != 4 || !four(argv[2], form)) {
        std::fprintf(stderr, "usage: chunk_pack output FORM ID=file...\n");
        return 2;
    }
    tools::ChunkWriter writer(form);
    for (int i = 3; i < argc; ++i) {
        char id[5];
        if (std::strlen(argv[i]) < 6 || argv[i][4] != '=' || !four(argv[i], id)) {
            std::fprintf(stderr, "chunk_pack: '%s' is not ID=file\n", argv[i]);
            return 2;
        }
        std::ifstream in(argv[i] + 5, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "chunk_pack: can't read %s\n", argv[i] + 5);
            return 1;
        }
        writer.add(id, std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    if (!writer.write(argv[1])) {
        std::fprintf(stderr, "chunk_pack: can't write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
