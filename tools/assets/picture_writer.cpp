#include "tools/assets/picture_writer.h"

#include "tools/fsys/chunk_writer.h"
#include "tools/fsys/write_bytes.h"

#include <filesystem>
#include <system_error>

namespace tools {

std::vector<uint8_t> picture_bytes(const PictureDesign& picture)
{
    ChunkWriter w(picture.icon ? "ICON" : "PICT");
    std::vector<uint8_t> head;
    for (const uint32_t v : {picture.width, picture.height}) {
        for (int i = 0; i < 4; ++i) {
            head.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    w.add("HEAD", head);
    w.add("PAL8", picture.palette);
    w.add("DATA", picture.data);
    if (picture.icon) {
        w.add("ALPH", picture.alpha);
    }
    return w.bytes();
}

bool write_picture(const std::string& base, const char* size_directory, const char* name,
                   const PictureDesign& picture)
{
    const std::filesystem::path dir = std::filesystem::path(base) / "pictures" / size_directory;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        return false;
    }
    const std::string path = (dir / (std::string(name) + (picture.icon ? ".cic" : ".cpc"))).string();
    return write_bytes(path.c_str(), picture_bytes(picture));
}

} // namespace tools
