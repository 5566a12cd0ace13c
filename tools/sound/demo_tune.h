#pragma once
// The demo's music: a short tune of our own in the S3M format, composed here
// note by note (a bass, a lead, a pad and a drum on four channels), with
// single-cycle and noise samples synthesised in code.
#include "tools/sound/module_writer.h"

namespace tools {

ModuleSong demo_tune();

} // namespace tools
