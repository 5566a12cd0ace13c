#pragma once
// The base of the classes whose objects sit in the map's leaves through an
// audience filter (dynamic lights, lens flares, meshes, sprites, BSP objects,
// particles): the visibility walk of a client admits them.
#include "server/audience_filter.h"
#include "server/sobj_manager.h"

class SharedMap;

class FilteredObjectManager : public SObjManager {
public:
    ~FilteredObjectManager() override;

    // Unlinks the filter; classes that hold more release it first.
    void on_release(int32_t index) override;
    // The filter at the transform's translation, linked into the leaves.
    void relink(int32_t index, const Matrix& transform) override;

    const AudienceFilter& filter(int32_t index) const { return filters_[index]; }

protected:
    // The base's n records and n filters on the map: 1, or 0 when memory fails.
    int start_filters(SharedMap* map, int32_t n);
    // Unlinks every used object's filter and frees them with the records.
    void stop_filters();
    // A fresh filter of the radius pointed at the object's record.
    void reset_filter(int32_t index, float radius);
    void set_filter_radius(int32_t index, float radius) { filters_[index].radius = radius; }

    SharedMap* map_ = nullptr;

private:
    AudienceFilter* filters_ = nullptr;
};
