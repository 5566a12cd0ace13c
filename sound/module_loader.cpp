#include "sound/module_loader.h"

const ModLoader mod_loader_table[MOD_LOADERS] = {
    {it_detect, it_load, mod_read_sample_raw},
    {xm_detect, xm_load, xm_read_sample},
    {s3m_detect, s3m_load, mod_read_sample_raw},
};
