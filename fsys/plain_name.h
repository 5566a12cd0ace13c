#pragma once
// Names that are turned into paths under a fixed folder: a name from the
// network or from a data file must not reach outside that folder.

// Not empty, no directory separators, no "..", no drive.
bool is_plain_name(const char* name);
