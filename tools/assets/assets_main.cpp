// ostrel_assets <base directory>: writes the demo's font and pictures there.
#include "tools/assets/demo_assets.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrel_assets <base directory>\n");
        return 2;
    }
    return tools::write_demo_assets(argv[1]) ? 0 : 1;
}
