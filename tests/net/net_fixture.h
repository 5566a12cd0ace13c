#pragma once
// Common ground of the network tests: a variable list, captured prints,
// a manual engine clock and a scratch directory for recordings, mounted
// in the file system.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "host/host_clock.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

class NetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_list = cvar_list;
        cvar_list = &variables;
        capture.show_all();
        clock.set_micros(0);
        std::random_device seed;
        dir = std::filesystem::temp_directory_path() /
              ("ostrel_net_" + std::to_string(seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        previous_fsys = fsys;
        fsys = &files;
        files.init();
        ASSERT_EQ(files.mount(dir.string().c_str(), 1, 0), 1);
    }
    void TearDown() override
    {
        cvar_list = previous_list;
        files.close();
        fsys = previous_fsys;
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // A file in the scratch directory.
    std::string path(const std::string& name) const { return (dir / name).string(); }

    void set_time(double seconds) { clock.set_micros(static_cast<int64_t>(seconds * 1e6 + 0.5)); }

    void set_variable(const char* name, const char* value)
    {
        ConfigVariable* const v = cvar_list->find(name);
        ASSERT_NE(v, nullptr) << name;
        v->set_string(value);
    }

    ConfigVariableList variables;
    ConfigVariableList* previous_list = nullptr;
    FSys files; // recordings are played from the scratch directory
    FSys* previous_fsys = nullptr;
    PrintCapture capture;
    host::ManualClock clock;
    host::ScopedClock clock_guard{&clock};
    std::filesystem::path dir;
};

inline std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) {
            bytes.push_back(static_cast<uint8_t>(c));
        }
        std::fclose(f);
    }
    return bytes;
}
