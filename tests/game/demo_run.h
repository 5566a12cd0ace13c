#pragma once
// The program run as a player starts it: in a scratch folder beside a copy
// of the demo base, with its output kept in the folder.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace demo_run {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A new scratch folder named for `what` under the system's temporary folder.
inline fs::path scratch_folder(const std::string& what)
{
    std::random_device seed;
    const fs::path folder = fs::temp_directory_path() / ("ostrel_" + what + "_" + std::to_string(seed()));
    fs::create_directories(folder);
    return folder;
}

// What the build wrote into the base, copied to `to`; not what other runs of
// the program there leave (screenshots, the scripts' persistent block), which
// may be written while this copies.
inline void copy_base(const fs::path& to)
{
    fs::create_directories(to);
    for (const fs::directory_entry& e : fs::directory_iterator(OSTREL_DEMO_BASE)) {
        const std::string name = e.path().filename().string();
        if (name != "shots" && name != "config") {
            fs::copy(e.path(), to / name, fs::copy_options::recursive);
        }
    }
}

// The headless program's environment and the command that starts it in
// `folder` with `options`, its output into "out.txt" there.
inline std::string program_command(const fs::path& folder, const std::string& options)
{
    return "cd '" + folder.string() +
           "' && exec env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy OSTREL_NO_MESSAGE_BOX=1 '" OSTREL_PROGRAM "' " +
           options + " > out.txt 2>&1";
}

} // namespace demo_run
