#pragma once
// Host files written by the engine (screenshots, saved state, recordings,
// wave files) and the byte-order readers and writers over host files.
// Files the engine reads go through FSys instead.
#include <cstdint>
#include <cstdio>

constexpr int STDIO2_BINARY = 1; // "wb"
constexpr int STDIO2_TEXT = 2;   // "wt"

// Creates every directory on the name's path, then opens the file for
// writing; null on failure or for another mode.
std::FILE* open_for_write(const char* name, int mode);
int file_exists(const char* name);
// The file's length; the position is kept.
int64_t file_size(std::FILE* file);

// Bytes read one at a time and added at their places; a missing byte adds -1
// there, as the engine always did.
int32_t read_le16(std::FILE* file);
int32_t read_le32(std::FILE* file);
int32_t read_be16(std::FILE* file);
int32_t read_be32(std::FILE* file);

// Write the 2 or 4 low bytes of the value; return the value.
uint32_t write_le16(uint32_t value, std::FILE* file);
uint32_t write_le32(uint32_t value, std::FILE* file);
uint32_t write_be16(uint32_t value, std::FILE* file);
uint32_t write_be32(uint32_t value, std::FILE* file);
