#pragma once
// The chunk walk of a ".cmt" texture file, the same in both programs: a
// chunked file of form "MIPT" (opaque) or "MAPT" (with alpha):
//   "HEAD" u32 width, u32 height, u32 levels stored
//   "PAL8" 256 x {r, g, b}
//   "DATA" every level of palette indices, one after the other
//   "ALPH" ("MAPT" only) every level of alpha bytes, likewise
// The walk checks the order and presence of the chunks, that no chunk runs
// past the end of the file and that DATA and ALPH hold every level; what a header may say, the size of each level and where
// the texels go belong to each program's reader. Messages begin
// "load_cmt(<path>): ".
#include <cstdint>

class FileStream;

constexpr int TEXTURE_PATH_MAX = 256;

// "gfx/resource/file.ext", or "gfx/file.ext" for an empty resource; false
// when it does not fit.
bool texture_file_path(char (&path)[TEXTURE_PATH_MAX], const char* gfx_path, const char* resource, const char* file,
                       const char* ext);

class CmtReader {
public:
    explicit CmtReader(const char* path) : path_(path) {}
    virtual ~CmtReader() = default;
    CmtReader(const CmtReader&) = delete;
    CmtReader& operator=(const CmtReader&) = delete;

    // 1 when the file held a usable header, a palette and every level.
    int read(FileStream* stream);

protected:
    // Takes the header; 1, or 0 after printing why it is refused. The
    // number of levels that DATA and ALPH hold is levels() from then on.
    virtual int head(int32_t width, int32_t height, int32_t levels, bool transparent) = 0;
    virtual int32_t levels() const = 0;
    virtual void level_size(int level, int32_t& width, int32_t& height) const = 0;
    // Reads the 768 bytes of the palette; 0 when memory or bytes were short.
    virtual int palette(FileStream* stream) = 0;
    // Read the indices, or the alpha bytes, of one level of that size.
    virtual int level(int level, FileStream* stream, int32_t width, int32_t height) = 0;
    virtual int alpha(int level, FileStream* stream, int32_t width, int32_t height) = 0;

    int fail(const char* what) const;
    const char* path() const { return path_; }

private:
    int chunk(FileStream* stream, uint32_t id, uint32_t length);
    int read_head(FileStream* stream, uint32_t length);
    using LevelStep = int (CmtReader::*)(int, FileStream*, int32_t, int32_t);
    // Each level through `step` while the chunk's length lasts: the first
    // level that failed, or -1.
    int each_level(FileStream* stream, uint32_t length, LevelStep step);
    int read_levels(FileStream* stream, uint32_t length);
    int read_alpha(FileStream* stream, uint32_t length);

    const char* path_;
    bool transparent_ = false;
    bool head_ = false;
    bool palette_ = false;
    bool data_ = false;
    bool alpha_ = false;
};
