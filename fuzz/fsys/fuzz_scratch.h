#pragma once
// A scratch host file that each fuzz input is written to, and quiet print
// streams: the file system reads host files, not memory.
#include "core/print.h"
#include "fsys/fsys.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

inline void quiet(int, const char*, uintptr_t) {}

// Scratch files live in the temporary directory and go at exit.
class Scratch {
public:
    Scratch()
    {
        set_stream_handler(quiet, 0);
        std::random_device seed;
        stem_ = (std::filesystem::temp_directory_path() / ("ostrel_fuzz_" + std::to_string(seed()))).string();
    }
    ~Scratch()
    {
        for (const std::string& name : names_) {
            std::remove(name.c_str());
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string name(const char* suffix)
    {
        const std::string n = stem_ + suffix;
        for (const std::string& known : names_) {
            if (known == n) {
                return n;
            }
        }
        names_.push_back(n);
        return n;
    }

private:
    std::string stem_;
    std::vector<std::string> names_;
};

inline std::string scratch_name(const char* suffix)
{
    static Scratch scratch;
    return scratch.name(suffix);
}

inline bool write_scratch(const std::string& name, const uint8_t* data, size_t size)
{
    std::FILE* const f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// A scratch directory tree mounted as the file system (`fsys`), with the
// folders named below its root; all of it goes at exit.
class ScratchTree {
public:
    ScratchTree(const char* prefix, std::initializer_list<const char*> folders)
    {
        set_stream_handler(quiet, 0);
        std::random_device seed;
        root = std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(seed()));
        for (const char* folder : folders) {
            std::filesystem::create_directories(root / folder);
        }
        files.init();
        files.mount(root.string().c_str(), 1, 10);
        fsys = &files;
    }
    ~ScratchTree()
    {
        files.close();
        fsys = nullptr;
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    std::filesystem::path root;
    FSys files;
};

} // namespace fuzz
