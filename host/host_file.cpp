#include "host/host_file.h"

#include <sys/stat.h>

namespace host {

bool file_status(const char* name, FileStatus& status)
{
    struct stat st{};
    if (name == nullptr || stat(name[0] != '\0' ? name : ".", &st) != 0) {
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

} // namespace host
