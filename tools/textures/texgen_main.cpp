// texgen OUTDIR: writes the procedural textures under OUTDIR/textures.
#include "tools/textures/procedural.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: texgen OUTDIR\n");
        return 2;
    }
    if (!tools::write_procedural_textures(argv[1])) {
        std::fprintf(stderr, "texgen: can't write textures under '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
