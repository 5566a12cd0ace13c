#include "fsys/file_list.h"

#include "core/kassert.h"
#include "core/wild_match.h"

#include <cstring>
#include <new>

void FileList::clear()
{
    while (first_ != nullptr) {
        FileNode* const next = first_->next;
        delete first_;
        first_ = next;
    }
}

FileNode* FileList::add()
{
    FileNode* const node = new (std::nothrow) FileNode;
    if (node == nullptr) {
        return nullptr;
    }
    node->next = first_;
    first_ = node;
    return node;
}

FileNode* FileList::find(const char* name, uint32_t value, uint32_t mask) const
{
    K_ASSERT(name);
    for (FileNode* n = first_; n != nullptr; n = n->next) {
        if ((n->flags & mask) == value && std::strcmp(n->name, name) == 0) {
            return n;
        }
    }
    return nullptr;
}

FileNode* FileList::find_match(const char* pattern, uint32_t value, uint32_t mask) const
{
    K_ASSERT(pattern);
    for (FileNode* n = first_; n != nullptr; n = n->next) {
        if ((n->flags & mask) == value && wild_match(n->name, pattern, 0) != 0) {
            return n;
        }
    }
    return nullptr;
}

int FileList::match(const FileNode* node, const char* pattern)
{
    return wild_match(node->name, pattern, 0);
}
