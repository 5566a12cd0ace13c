#pragma once
// Command files and directory listings through the file system, for the
// console's Call and Ls.

// The whole file as a NUL-terminated text (free with std::free), or null when
// it cannot be opened or read.
char* read_command_file(const char* name);
