#include "fsys/plain_name.h"

#include <cstring>

bool is_plain_name(const char* name)
{
    if (name == nullptr || name[0] == '\0' || std::strstr(name, "..") != nullptr) {
        return false;
    }
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':') {
            return false;
        }
    }
    return true;
}
