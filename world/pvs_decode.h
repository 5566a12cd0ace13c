#pragma once
// Decoding of a cell's packed PVS: bits over the cells in array order, 8 a
// byte, lowest cell in bit 0. A control byte b with bit 7 set stands for
// (b & 0x7F) + 1 zero bytes; with bit 7 clear, (b & 0x7F) + 1 literal bytes
// follow. Decoding stops at the covered cell count, also inside a byte or a run.
#include <cstdint>

// Calls zeros (first cell, cell count) for every run of invisible cells and
// bits (first cell, byte, cells in the byte: 1..8) for every literal byte,
// all below `cells`. False when the string reaches `end` first.
template <typename Zeros, typename Bits>
bool pvs_decode(const uint8_t* p, const uint8_t* end, int32_t cells, Zeros&& zeros, Bits&& bits)
{
    int32_t cell = 0;
    while (cell < cells) {
        if (p >= end) {
            return false;
        }
        const uint32_t control = *p++;
        const int32_t bytes = static_cast<int32_t>(control & 0x7Fu) + 1;
        if ((control & 0x80u) != 0) {
            const int32_t left = cells - cell;
            const int32_t run = bytes * 8 < left ? bytes * 8 : left;
            zeros(cell, run);
            cell += run;
            continue;
        }
        for (int32_t i = 0; i < bytes && cell < cells; ++i) {
            if (p >= end) {
                return false;
            }
            const int32_t left = cells - cell;
            bits(cell, *p++, left < 8 ? left : 8);
            cell += 8;
        }
    }
    return true;
}
