#include "sound/mixing_buffer.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/numerics.h"

#include <cstring>

MixFilter::~MixFilter() { K_ASSERT(!next); }

MixingBuffer::~MixingBuffer()
{
    if (buffer != nullptr) {
        kheap_release(buffer);
    }
}

bool MixingBuffer::create(int32_t frames)
{
    K_ASSERT(frames > 0);
    if (buffer != nullptr) {
        kheap_release(buffer);
        buffer = nullptr;
        buffer_length = 0;
    }
    if (frames > MIX_MAX_BUFFER_FRAMES) {
        return false;
    }
    const int32_t length = (frames + 255) & ~255;
    const size_t bytes = static_cast<size_t>(length) * 2 * sizeof(int32_t);
    buffer = static_cast<int32_t*>(kheap_alloc(bytes, KHEAP_FROM_BOTTOM, "MixingBuffer"));
    if (buffer == nullptr) {
        return false;
    }
    std::memset(buffer, 0, bytes);
    buffer_length = length;
    mixed = 0;
    return true;
}

void MixingBuffer::release()
{
    K_ASSERT(!inputs);
    K_ASSERT(!next);
    set_output(nullptr);
    while (filters != nullptr) {
        MixFilter* const f = filters;
        filters = f->next;
        f->next = nullptr;
    }
    if (buffer != nullptr) {
        kheap_release(buffer);
    }
    buffer = nullptr;
    buffer_length = 0;
}

void MixingBuffer::clear(int32_t frames)
{
    K_ASSERT(frames <= buffer_length);
    std::memset(buffer, 0, static_cast<size_t>(frames) * 2 * sizeof(int32_t));
    mixed = 0;
}

void MixingBuffer::set_output(MixingBuffer* b)
{
    if (output != nullptr) {
        K_ASSERT(output->inputs > 0);
        --output->inputs;
    }
    output = b;
    if (b != nullptr) {
        ++b->inputs;
    }
}

void MixingBuffer::add_filter(MixFilter* f, bool at_head)
{
    K_ASSERT(f);
    K_ASSERT(!f->next);
    if (at_head || filters == nullptr) {
        f->next = filters;
        filters = f;
        return;
    }
    MixFilter* last = filters;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = f;
}

void MixingBuffer::remove_filter(MixFilter* f)
{
    for (MixFilter** link = &filters; *link != nullptr; link = &(*link)->next) {
        if (*link == f) {
            *link = f->next;
            f->next = nullptr;
            return;
        }
    }
}

void MixingBuffer::process(int32_t frames)
{
    K_ASSERT(mixed == inputs);
    K_ASSERT(frames <= buffer_length);
    for (MixFilter* f = filters; f != nullptr; f = f->next) {
        f->process(buffer, frames);
    }
    if (output == nullptr) {
        return;
    }
    // A whole pass fills the output exactly, so frames may equal its length.
    K_ASSERT(output->buffer && frames <= output->buffer_length);
    int32_t* const out = output->buffer;
    for (int32_t i = 0; i < frames * 2; ++i) {
        out[i] = wrap_add(out[i], buffer[i]);
    }
    ++output->mixed;
}
