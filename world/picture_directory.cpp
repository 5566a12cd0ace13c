#include "world/picture_directory.h"

#include "core/kassert.h"
#include "fsys/file_stream.h"
#include "fsys/fsys.h"

#include <cstdio>
#include <cstdlib>

const PictureSize picture_sizes[PICTURE_SIZES] = {
    {"size01", 320, 200}, {"size02", 400, 300}, {"size03", 512, 384},  {"size04", 640, 480},
    {"size05", 800, 600}, {"size06", 960, 720}, {"size07", 1024, 768},
};

namespace {

// Differences at or above this never win, whatever the mode.
constexpr int64_t NO_DIFFERENCE = 16777216;

FileStream* open_in(int size, const char* name, const char* extension)
{
    char path[128];
    const int n =
        std::snprintf(path, sizeof path, "pictures/%s/%s.%s", picture_sizes[size].directory, name, extension);
    if (n < 0 || n >= static_cast<int>(sizeof path)) {
        return nullptr;
    }
    return fsys->open(path, FSYS_BINARY);
}

} // namespace

FileStream* open_sized_picture(const char* name, const char* extension, int32_t xres, int32_t yres, int* chosen)
{
    K_ASSERT(fsys);
    K_ASSERT(name && extension);
    const int64_t area = static_cast<int64_t>(xres) * yres;
    int best = -1;
    int64_t best_difference = NO_DIFFERENCE;
    FileStream* file = nullptr;
    for (int i = 0; i < PICTURE_SIZES; ++i) {
        const int64_t d = std::llabs(area - static_cast<int64_t>(picture_sizes[i].width) * picture_sizes[i].height);
        if (d >= best_difference) {
            continue;
        }
        // Keep only the nearest file open; a failed try leaves the best one closed.
        if (file != nullptr) {
            file->close();
        }
        file = open_in(i, name, extension);
        if (file != nullptr) {
            best = i;
            best_difference = d;
        }
    }
    if (file == nullptr && best >= 0) {
        file = open_in(best, name, extension);
    }
    if (chosen != nullptr) {
        *chosen = file != nullptr ? best : -1;
    }
    return file;
}
