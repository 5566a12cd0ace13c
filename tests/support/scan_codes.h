#pragma once
// PC set-1 scan codes of the keys that tests press through the message queue.
#include <cstdint>

constexpr uint32_t SCAN_ESCAPE = 0x01;
constexpr uint32_t SCAN_BACK = 0x0E;
constexpr uint32_t SCAN_W = 0x11;
constexpr uint32_t SCAN_RETURN = 0x1C;
constexpr uint32_t SCAN_A = 0x1E;
constexpr uint32_t SCAN_S = 0x1F;
constexpr uint32_t SCAN_D = 0x20;
constexpr uint32_t SCAN_TILDE = 0x29;
constexpr uint32_t SCAN_B = 0x30;
constexpr uint32_t SCAN_RIGHT = 0x4D;
constexpr uint32_t SCAN_F12 = 0x58;
