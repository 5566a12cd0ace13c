#include "sound/s3d_hive.h"

#include "core/kassert.h"
#include "core/print.h"
#include "sound/s3d_renderer.h"
#include "sound/sample_cache.h"
#include "sound/sc_sample.h"

S3DHive::~S3DHive()
{
    while (renderers_ != nullptr) {
        S3DRenderer* const r = renderers_;
        renderers_ = r->next;
        delete r;
    }
}

void S3DHive::attach_cache(SampleCache* c)
{
    K_ASSERT(c && !cache_);
    cache_ = c;
}

int S3DHive::add_renderer(S3DRenderer* renderer)
{
    renderer->next = renderers_;
    renderers_ = renderer;
    renderer->set_environment(0);
    Matrix identity;
    mat_identity(identity);
    renderer->set_listener(identity);
    renderer->set_listener_velocity(0.0f, 0.0f, 0.0f);
    return 1;
}

int S3DHive::set_environment(int32_t n)
{
    if (n == environment_) {
        return 1;
    }
    environment_ = n;
    int all = 1;
    for (S3DRenderer* r = renderers_; r != nullptr; r = r->next) {
        if (!r->set_environment(n)) {
            all = 0;
        }
    }
    return all;
}

void S3DHive::set_listener(const Matrix& listener)
{
    for (S3DRenderer* r = renderers_; r != nullptr; r = r->next) {
        r->set_listener(listener);
    }
}

void S3DHive::set_listener_velocity(float x, float y, float z)
{
    for (S3DRenderer* r = renderers_; r != nullptr; r = r->next) {
        r->set_listener_velocity(x, y, z);
    }
}

void S3DHive::sort_sources(S3DSource** list)
{
    // Bubble passes over the linked list; each pass settles its last element.
    S3DSource* settled = nullptr;
    bool swapped = true;
    while (swapped && *list != settled) {
        swapped = false;
        S3DSource** link = list;
        S3DSource* s = *link;
        while (s->next != settled) {
            S3DSource* const t = s->next;
            if (s->priority > t->priority) {
                s->next = t->next;
                t->next = s;
                *link = t;
                swapped = true;
                link = &t->next;
            } else {
                link = &s->next;
                s = t;
            }
        }
        K_ASSERT(s);
        settled = s;
    }
}

void S3DHive::frame(double now, int32_t debug_lines)
{
    int32_t lines = 0;
    if (debug_lines > 1) {
        print_string(P_MESSAGE, "--- Active sound sources:");
        lines = debug_lines - 1;
    }
    for (S3DRenderer* r = renderers_; r != nullptr; r = r->next) {
        r->begin_frame(separation_);
        sort_sources(&r->sources);
        r->update(priority_scale_, now, &lines);
    }
}

S3DSource* S3DHive::create_source(const char* name, uint32_t flags)
{
    K_ASSERT(name);
    K_ASSERT(cache_);
    SCSample* const sample = cache_->get(name, -1);
    if (sample == nullptr) {
        return nullptr;
    }
    for (S3DRenderer* r = renderers_; r != nullptr; r = r->next) {
        S3DSource* const s = r->create_source(sample->device_sample, static_cast<float>(sample->rate), flags);
        if (s == nullptr) {
            continue;
        }
        s->set_position(0.0f, 0.0f, 0.0f);
        s->set_velocity(0.0f, 0.0f, 0.0f);
        s->set_distances(S3D_DEFAULT_MIN_DISTANCE, S3D_DEFAULT_MAX_DISTANCE);
        s->set_volume(1.0f);
        s->set_frequency(1.0f);
        s->base_priority = S3D_DEFAULT_PRIORITY;
        s->volume_priority = S3D_DEFAULT_PRIORITY;
        s->next = r->sources;
        r->sources = s;
        return s;
    }
    return nullptr;
}
