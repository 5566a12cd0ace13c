#include "core/index_list.h"

#include "core/kassert.h"

#include <new>

int IndexList::create(int32_t count)
{
    K_ASSERT(count >= 1);
    destroy();
    storage_ = new (std::nothrow) IndexLink[static_cast<uint32_t>(count) + 4u];
    if (storage_ == nullptr) {
        return 0;
    }
    links_ = storage_ + 4;
    n = count;
    reset();
    return 1;
}

void IndexList::destroy()
{
    delete[] storage_;
    storage_ = nullptr;
    links_ = nullptr;
    n = 0;
    cursor_ = IL_NONE;
    forward_ = true;
}

void IndexList::reset()
{
    K_ASSERT(links_);
    at(IL_USED_HEAD) = {IL_NONE, IL_USED_TAIL};
    at(IL_USED_TAIL) = {IL_USED_HEAD, IL_NONE};
    int32_t prev = IL_FREE_HEAD;
    for (int32_t i = 0; i < n; ++i) {
        at(prev).next = i;
        at(i).prev = prev;
        prev = i;
    }
    at(prev).next = IL_FREE_TAIL;
    at(IL_FREE_HEAD).prev = IL_NONE;
    at(IL_FREE_TAIL) = {prev, IL_NONE};
}

void IndexList::unlink(int32_t i)
{
    K_ASSERT(i >= 0 && i < n);
    const int32_t prev = at(i).prev;
    const int32_t next = at(i).next;
    // Spaced on purpose: the assertion texts read "index_valid (prev)" and so on.
    K_ASSERT(index_valid (prev) && index_valid (next));
    at(prev).next = next;
    at(next).prev = prev;
}

void IndexList::insert_between(int32_t i, int32_t before, int32_t after)
{
    at(i).prev = before;
    at(i).next = after;
    at(before).next = i;
    at(after).prev = i;
}

int32_t IndexList::alloc(int32_t head)
{
    K_ASSERT(index_valid(head) && head != IL_FREE_HEAD && head != IL_FREE_TAIL);
    const int32_t i = at(IL_FREE_HEAD).next;
    K_ASSERT(index_valid (i));
    if (i == IL_FREE_TAIL) {
        return IL_NONE;
    }
    unlink(i);
    if (head == IL_USED_TAIL) {
        insert_between(i, at(IL_USED_TAIL).prev, IL_USED_TAIL);
    } else {
        const int32_t next = at(head).next;
        K_ASSERT(index_valid (next));
        insert_between(i, head, next);
    }
    return i;
}

void IndexList::free(int32_t i)
{
    K_ASSERT(i >= 0 && i < n);
    if (i == cursor_) {
        cursor_ = forward_ ? at(i).next : at(i).prev;
    }
    unlink(i);
    insert_between(i, IL_FREE_HEAD, at(IL_FREE_HEAD).next);
}

int32_t IndexList::first(int32_t head)
{
    K_ASSERT(is_end(head));
    forward_ = walks_forward(head);
    const int32_t i = forward_ ? at(head).next : at(head).prev;
    K_ASSERT(index_valid(i));
    if (i < 0) {
        cursor_ = i;
        return IL_NONE;
    }
    cursor_ = forward_ ? at(i).next : at(i).prev;
    return i;
}

int32_t IndexList::next()
{
    const int32_t i = cursor_;
    K_ASSERT(index_valid (i));
    if (i < 0) {
        return IL_NONE;
    }
    cursor_ = forward_ ? at(i).next : at(i).prev;
    return i;
}

int IndexList::contains(int32_t head, int32_t i) const
{
    K_ASSERT(is_end(head));
    if (i < 0 || i >= n) {
        return 0;
    }
    const int32_t start = (head == IL_USED_HEAD || head == IL_USED_TAIL) ? IL_USED_HEAD : IL_FREE_HEAD;
    // Bounded by the pool size, so a damaged list cannot loop for ever.
    int32_t e = links_[start].next;
    for (int32_t steps = 0; e >= 0 && steps <= n; ++steps) {
        if (e == i) {
            return 1;
        }
        e = links_[e].next;
    }
    return 0;
}

void IndexList::link_before(int32_t i, int32_t h)
{
    K_ASSERT(index_valid(h) && h != IL_USED_HEAD && h != IL_FREE_HEAD && h != i);
    unlink(i);
    insert_between(i, at(h).prev, h);
}

void IndexList::link_after(int32_t i, int32_t h)
{
    K_ASSERT(index_valid(h) && h != IL_USED_TAIL && h != IL_FREE_TAIL && h != i);
    unlink(i);
    insert_between(i, h, at(h).next);
}

void IndexList::link_first(int32_t i, int32_t head)
{
    if (is_end(head) && !walks_forward(head)) {
        link_before(i, head);
    } else {
        link_after(i, head);
    }
}

void IndexList::link_last(int32_t head, int32_t i)
{
    if (!is_end(head)) {
        link_before(i, head);
    } else if (walks_forward(head)) {
        link_before(i, opposite_end(head));
    } else {
        link_after(i, opposite_end(head));
    }
}
