#include "host/host_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace host {

namespace {

constexpr size_t CACHE_MAX_DIRS = 1024;
// A directory whose contents changed this recently may change again within
// the same timestamp tick, so a miss in it reads the disk again.
constexpr int64_t SETTLE_NS = 2000000000;

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(const std::string& s)
{
    std::string f(s);
    for (char& c : f) {
        c = fold(c);
    }
    return f;
}

int64_t stamp_ns(const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

int64_t now_ns()
{
    struct timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return stamp_ns(t);
}

struct CachedDir {
    dev_t dev = 0;
    ino_t ino = 0;
    int64_t mtime = 0;
    int64_t ctime = 0;
    bool settled = false;
    // Folded name and host name, sorted by folded name, then host name.
    std::vector<std::pair<std::string, std::string>> names;
};

std::unordered_map<std::string, CachedDir>& cache()
{
    static std::unordered_map<std::string, CachedDir> dirs;
    return dirs;
}

const char* sys_path(const std::string& path) { return path.empty() ? "." : path.c_str(); }

std::string join(const std::string& dir, const std::string& name)
{
    if (dir.empty()) {
        return name;
    }
    if (dir.back() == '/') {
        return dir + name;
    }
    return dir + '/' + name;
}

bool same_state(const CachedDir& d, const struct stat& st)
{
    return d.dev == st.st_dev && d.ino == st.st_ino && d.mtime == stamp_ns(st.st_mtim) &&
           d.ctime == stamp_ns(st.st_ctim);
}

bool load(const std::string& path, const struct stat& st, CachedDir& d)
{
    DIR* const dir = opendir(sys_path(path));
    if (dir == nullptr) {
        return false;
    }
    d.names.clear();
    for (const struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
        const std::string name(e->d_name);
        if (name != "." && name != "..") {
            d.names.emplace_back(folded(name), name);
        }
    }
    closedir(dir);
    std::sort(d.names.begin(), d.names.end());
    d.dev = st.st_dev;
    d.ino = st.st_ino;
    d.mtime = stamp_ns(st.st_mtim);
    d.ctime = stamp_ns(st.st_ctim);
    d.settled = now_ns() - std::max(d.mtime, d.ctime) > SETTLE_NS;
    return true;
}

// The cached contents of a directory, read again when it changed; null when
// it is no readable directory.
CachedDir* cached(const std::string& path, bool reload)
{
    struct stat st{};
    if (stat(sys_path(path), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return nullptr;
    }
    auto& dirs = cache();
    auto it = dirs.find(path);
    if (it != dirs.end() && !reload && same_state(it->second, st)) {
        return &it->second;
    }
    if (it == dirs.end()) {
        if (dirs.size() >= CACHE_MAX_DIRS) {
            dirs.clear();
        }
        it = dirs.emplace(path, CachedDir{}).first;
    }
    if (!load(path, st, it->second)) {
        dirs.erase(it);
        return nullptr;
    }
    return &it->second;
}

// The host name in a cached directory equal to the component, or else the
// first that differs only in case; null when there is none.
const std::string* find_in(const CachedDir& d, const std::string& component)
{
    const std::string key = folded(component);
    auto it = std::lower_bound(d.names.begin(), d.names.end(), key,
                               [](const std::pair<std::string, std::string>& e, const std::string& k) {
                                   return e.first < k;
                               });
    const std::string* first = nullptr;
    for (; it != d.names.end() && it->first == key; ++it) {
        if (it->second == component) {
            return &it->second;
        }
        if (first == nullptr) {
            first = &it->second;
        }
    }
    return first;
}

const std::string* find_entry(const std::string& dir, const std::string& component)
{
    CachedDir* d = cached(dir, false);
    if (d == nullptr) {
        return nullptr;
    }
    const std::string* found = find_in(*d, component);
    if (found == nullptr && !d->settled) {
        d = cached(dir, true);
        found = d != nullptr ? find_in(*d, component) : nullptr;
    }
    return found;
}

// '/' separators; the leading '/' of an absolute name is kept.
std::string normalized(const char* name)
{
    std::string n(name);
    std::replace(n.begin(), n.end(), '\\', '/');
    return n;
}

void split(const std::string& name, std::string& root, std::vector<std::string>& parts)
{
    root = (!name.empty() && name[0] == '/') ? "/" : "";
    parts.clear();
    size_t i = 0;
    while (i < name.size()) {
        const size_t j = std::min(name.find('/', i), name.size());
        if (j > i) {
            parts.emplace_back(name, i, j - i);
        }
        i = j + 1;
    }
}

// Resolves the directories of the name and, unless keep_last, its last
// component too; a kept last component is taken from the directory when a
// case variant of it exists there.
bool resolve_walk(const std::string& name, bool keep_last, std::string& out)
{
    std::string path;
    std::vector<std::string> parts;
    split(name, path, parts);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const bool last = i + 1 == parts.size();
        if (part == "." || part == "..") {
            path = join(path, part);
            continue;
        }
        const std::string* real = find_entry(path, part);
        if (real == nullptr) {
            if (!(last && keep_last)) {
                return false;
            }
            path = join(path, part);
        } else {
            path = join(path, *real);
        }
    }
    out = path;
    return true;
}

bool missing(int error) { return error == ENOENT || error == ENOTDIR; }

void forget_parent(const std::string& path)
{
    const size_t slash = path.rfind('/');
    cache().erase(slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash));
}

} // namespace

bool resolve_path(const char* name, std::string& path)
{
    if (name == nullptr) {
        return false;
    }
    const std::string n = normalized(name);
    struct stat st{};
    if (stat(sys_path(n), &st) == 0) {
        path = n;
        return true;
    }
    return missing(errno) && resolve_walk(n, false, path);
}

bool file_status(const char* name, FileStatus& status)
{
    std::string path;
    struct stat st{};
    if (!resolve_path(name, path) || stat(sys_path(path), &st) != 0) {
        return false;
    }
    status.mode = S_ISDIR(st.st_mode) ? FILE_TYPE_DIRECTORY : (S_ISREG(st.st_mode) ? FILE_TYPE_REGULAR : 0);
    status.size = st.st_size;
    status.mtime = st.st_mtime;
    return true;
}

bool file_exists(const char* name)
{
    FileStatus status;
    return file_status(name, status);
}

namespace {

std::FILE* open_regular(const std::string& path, const char* mode)
{
    std::FILE* const file = std::fopen(sys_path(path), mode);
    if (file == nullptr) {
        return nullptr;
    }
    struct stat st{};
    if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

} // namespace

std::FILE* open_file(const char* name, FileMode mode)
{
    if (name == nullptr || name[0] == '\0') {
        return nullptr;
    }
    const std::string n = normalized(name);
    std::string path;
    if (mode == FileMode::READ) {
        std::FILE* const file = open_regular(n, "rb");
        if (file != nullptr || !missing(errno) || !resolve_walk(n, false, path)) {
            return file;
        }
        return open_regular(path, "rb");
    }
    if (!resolve_walk(n, true, path)) {
        return nullptr;
    }
    std::FILE* const file = open_regular(path, "wb");
    forget_parent(path);
    return file;
}

bool make_directory(const char* name)
{
    std::string path;
    if (name == nullptr || name[0] == '\0' || !resolve_walk(normalized(name), true, path)) {
        return false;
    }
    if (mkdir(path.c_str(), 0777) == 0) {
        forget_parent(path);
        return true;
    }
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool list_directory(const char* name, std::vector<DirEntry>& entries)
{
    std::string path;
    if (!resolve_path(name, path)) {
        return false;
    }
    DIR* const dir = opendir(sys_path(path));
    if (dir == nullptr) {
        return false;
    }
    const int fd = dirfd(dir);
    for (const struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
            continue;
        }
        struct stat st{};
        if (fstatat(fd, e->d_name, &st, 0) != 0) {
            continue; // a dangling link names nothing that could be opened
        }
        DirEntry entry;
        entry.name = e->d_name;
        entry.directory = S_ISDIR(st.st_mode);
        entry.size = entry.directory ? 0 : static_cast<uint64_t>(st.st_size);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return true;
}

void forget_resolved_names() { cache().clear(); }

} // namespace host
