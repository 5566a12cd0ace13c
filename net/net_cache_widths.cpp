#include "net/net_cache_widths.h"

#include "core/kassert.h"
#include "core/print.h"
#include "net/net_defs.h"

int net_cache_check_widths(const char* prefix, int binary, int32_t blocks, int32_t block_length, int ibits,
                           int dbits)
{
    K_ASSERT(binary || !dbits);
    if (ibits < 1 || ibits > 32 || (int64_t{1} << ibits) < blocks) {
        print_format(P_ERROR, "%s: %d bits are not enough for %d blocks", prefix, ibits, blocks);
        return NET_MISMATCH;
    }
    if (binary) {
        if (static_cast<int64_t>(dbits) * 8 < block_length) {
            print_format(P_ERROR, "%s: %d bits are not enough for %d bytes", prefix, dbits, block_length);
            return NET_MISMATCH;
        }
        // More bits than the block holds would run over it on both sides.
        if (dbits > static_cast<int64_t>(block_length) * 8) {
            print_format(P_ERROR, "%s: %d bits are too many for %d bytes", prefix, dbits, block_length);
            return NET_MISMATCH;
        }
    }
    return NET_OK;
}
