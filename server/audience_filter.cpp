#include "server/audience_filter.h"

#include "server/sobj_common.h"

void AudienceFilter::visit(uint32_t client)
{
    if (object != nullptr && audience_admits(object->audience, static_cast<int>(client)) &&
        (object->flags & (SOBJF_DESTROY | SOBJF_DESTROYED)) == 0) {
        object->flags |= SOBJF_ADMITTED;
    }
}
