// demo_sounds <base directory>: synthesises the demo's sounds into base/sounds.
#include "tools/wav/demo_sounds.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_sounds <base directory>\n");
        return 2;
    }
    return tools::write_demo_sounds(argv[1]) ? 0 : 1;
}
