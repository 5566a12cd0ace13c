// Mounts any bytes as a "MUF2" archive, then lists it and reads every member
// through each of its stream operations.
#include "fsys/archive_driver.h"
#include "fsys/file_list.h"
#include "fuzz/fsys/fuzz_scratch.h"

#include <memory>
#include <string>

namespace {

void exercise(FileStream* s, int32_t i)
{
    char buffer[64];
    switch (i % 4) {
    case 0:
        while (s->read_line(buffer, sizeof buffer) != nullptr) {
        }
        break;
    case 1:
        while (s->read_word(buffer, 7) != nullptr) {
        }
        break;
    case 2:
        while (s->read(buffer, 3, 5) != 0) {
            (void)s->read_be32();
        }
        break;
    default:
        (void)s->seek(-(i % 9), FSYS_SEEK_END);
        (void)s->seek(i, FSYS_SEEK_CUR);
        for (int c = s->get_char(); c != -1; c = s->get_char()) {
            s->unget(c);
            (void)s->get_char();
            (void)s->read_le16();
        }
        break;
    }
    (void)s->tell();
    (void)s->eof();
    (void)s->size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name = fuzz::scratch_name(".muf");
    if (!fuzz::write_scratch(name, data, size)) {
        return 0;
    }
    std::unique_ptr<FileDriver> driver(ArchiveMuf::mount(name.c_str()));
    if (driver == nullptr) {
        return 0;
    }
    const ArchiveDriver* const archive = static_cast<ArchiveDriver*>(driver.get());
    FileList list;
    driver->list(list, Dir("", DIR_DIRECTORY), FSYS_LIST_FILES | FSYS_LIST_DIRS);
    for (int32_t i = 0; i < archive->entry_count() && i < 64; ++i) {
        const std::string member = archive->entry(i).name;
        driver->list(list, Dir(member.c_str(), DIR_DIRECTORY), FSYS_LIST_FILES | FSYS_LIST_DIRS);
        FileStream* const a = driver->open(member.c_str(), i % 2 == 0 ? FSYS_BINARY : FSYS_TEXT);
        FileStream* const b = driver->open(member.c_str(), FSYS_BINARY);
        if (a != nullptr && b != nullptr) {
            exercise(a, i);
            exercise(b, i + 1);
        }
        if (b != nullptr) {
            b->close();
        }
        if (a != nullptr) {
            a->close();
        }
    }
    return 0;
}
