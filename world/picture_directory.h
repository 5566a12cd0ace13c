#pragma once
// Pictures and icons are kept in one directory per screen size; a file is
// taken from the directory whose screen area is nearest to the video mode's,
// among those that hold it, the earlier (smaller) directory on a tie.
#include <cstdint>

class FileStream;

struct PictureSize {
    const char* directory;
    int32_t width;
    int32_t height;
};

constexpr int PICTURE_SIZES = 7;
extern const PictureSize picture_sizes[PICTURE_SIZES];

// Opens "pictures/<size directory>/<name>.<extension>" for a screen of xres x
// yres pixels; null when no size directory holds the file. `chosen` (when not
// null) receives the index of the size directory used.
FileStream* open_sized_picture(const char* name, const char* extension, int32_t xres, int32_t yres,
                               int* chosen = nullptr);
