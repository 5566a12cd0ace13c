#pragma once
// A scratch directory for one test, removed with everything in it when the
// test ends; the test may make it the current directory for its duration.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

class TempTree {
public:
    TempTree()
    {
        std::random_device seed;
        for (int attempt = 0; attempt < 100; ++attempt) {
            root_ = std::filesystem::temp_directory_path() / ("ostrel_fsys_" + std::to_string(seed()));
            std::error_code error;
            if (std::filesystem::create_directory(root_, error)) {
                return;
            }
        }
        root_.clear();
    }
    ~TempTree()
    {
        if (!saved_.empty()) {
            std::filesystem::current_path(saved_);
        }
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Makes the tree the current directory until the tree goes.
    void enter()
    {
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
    }

    std::string path(const std::string& relative = "") const { return (root_ / relative).string(); }

    void write(const std::string& relative, const std::string& text) const
    {
        write(relative, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void write(const std::string& relative, const std::vector<uint8_t>& bytes) const
    {
        const std::filesystem::path p = root_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void make_dir(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }
    bool exists(const std::string& relative) const { return std::filesystem::exists(root_ / relative); }

private:
    std::filesystem::path root_;
    std::filesystem::path saved_;
};
