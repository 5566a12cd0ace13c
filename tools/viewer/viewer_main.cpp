// mapview <base> <map> <x> <y> <z> <yaw> <pitch> <out.bmp> [<width> <height>]:
// draws the map "maps/<map>" of the base directory from the camera pose
// (angles in degrees) into a BMP file, headless.
#include "core/print.h"
#include "tools/viewer/map_viewer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 9 && argc != 11) {
        std::fprintf(stderr, "usage: mapview <base> <map> <x> <y> <z> <yaw> <pitch> <out.bmp> [<width> <height>]\n");
        return 2;
    }
    const Vector position{std::strtof(argv[3], nullptr), std::strtof(argv[4], nullptr), std::strtof(argv[5], nullptr)};
    const float degree = static_cast<float>(M_PI / 180.0);
    const float yaw = std::strtof(argv[6], nullptr) * degree;
    const float pitch = std::strtof(argv[7], nullptr) * degree;
    const int32_t width = argc == 11 ? std::atoi(argv[9]) : 640;
    const int32_t height = argc == 11 ? std::atoi(argv[10]) : 480;
    if (width < 16 || height < 16 || width > 4096 || height > 3072) {
        std::fprintf(stderr, "mapview: the window is 16 x 16 to 4096 x 3072\n");
        return 2;
    }
    print_init();
    MapViewer viewer;
    std::string error;
    if (!viewer.open(argv[1], argv[2], width, height, error)) {
        std::fprintf(stderr, "mapview: %s\n", error.c_str());
        return 1;
    }
    viewer.draw(position, yaw, pitch, 0);
    if (!viewer.write_bmp(argv[8])) {
        std::fprintf(stderr, "mapview: can't write %s\n", argv[8]);
        return 1;
    }
    return 0;
}
