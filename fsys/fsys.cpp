#include "fsys/fsys.h"

#include "core/kassert.h"
#include "core/print.h"
#include "fsys/archive_driver.h"
#include "fsys/dir.h"
#include "fsys/dir_driver.h"

#include <new>

FSys* fsys = nullptr;

namespace {

using DriverFactory = FileDriver* (*)(const char* name);
// Archives first, so that a name that is an archive never maps as a directory.
constexpr DriverFactory factories[] = {ArchiveMuf::mount, DirDriver::mount};

} // namespace

FSys::~FSys()
{
    close();
    if (fsys == this) {
        fsys = nullptr;
    }
}

int FSys::init()
{
    print_string(P_LOG, "Initializing file system");
    close();
    return 1;
}

int FSys::mount(const char* sname, uint32_t id, int32_t priority)
{
    K_ASSERT(sname);
    K_ASSERT(id);
    Mount* const record = new (std::nothrow) Mount;
    if (record == nullptr) {
        return 0;
    }
    for (const DriverFactory factory : factories) {
        record->driver = factory(sname);
        if (record->driver != nullptr) {
            break;
        }
    }
    if (record->driver == nullptr) {
        delete record;
        return 0;
    }
    record->sid = id;
    record->priority = priority;
    if (first_ == nullptr || priority >= first_->priority) {
        record->next = first_;
        first_ = record;
        return 1;
    }
    Mount* behind = first_;
    while (behind->next != nullptr && behind->next->priority >= priority) {
        behind = behind->next;
    }
    record->next = behind->next;
    behind->next = record;
    return 1;
}

FileStream* FSys::open(const char* name, int mode)
{
    K_ASSERT(name);
    for (Mount* m = first_; m != nullptr; m = m->next) {
        FileStream* const stream = m->driver->open(name, mode);
        if (stream != nullptr) {
            return stream;
        }
    }
    return nullptr;
}

FileList* FSys::list(const char* dname, uint32_t mask)
{
    K_ASSERT(dname);
    const Dir path(dname, DIR_DIRECTORY);
    FileList* const result = new (std::nothrow) FileList;
    if (result == nullptr || !path.valid()) {
        return result;
    }
    for (Mount* m = first_; m != nullptr; m = m->next) {
        m->driver->list(*result, path, mask);
    }
    return result;
}

int FSys::unmount(uint32_t mask)
{
    int removed = 0;
    Mount** link = &first_;
    while (*link != nullptr) {
        Mount* const m = *link;
        if ((m->sid & mask) == 0) {
            link = &m->next;
            continue;
        }
        if (m->driver->open_files() != 0) {
            print_string(P_ERROR, "FSys: Can't close source with opened files");
            link = &m->next;
            continue;
        }
        *link = m->next;
        delete m->driver;
        delete m;
        ++removed;
    }
    return removed;
}

void FSys::close()
{
    if (first_ != nullptr) {
        print_string(P_LOG, "Closing file system");
    }
    while (first_ != nullptr) {
        Mount* const m = first_;
        first_ = m->next;
        if (m->driver->open_files() != 0) {
            print_format(P_WARNING, "FSys: Files (sid %d) still opened in close() !", static_cast<int>(m->sid));
        }
        delete m->driver;
        delete m;
    }
}
