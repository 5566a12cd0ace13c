// ostrel_models <base>: writes our own mesh models and their skins under base/models.
#include "tools/models/demo_models.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrel_models <base directory>\n");
        return 2;
    }
    return tools::write_demo_models(argv[1]) ? 0 : 1;
}
