#pragma once
// The screen tint: moves every pixel of a rectangle of the frame buffer toward
// one colour, byte k by strengths byte k / 256. The rectangle starts at
// `first`, is width pixels wide and height rows high, rows `pitch` pixels apart.
#include <cstdint>

// At 7-bit precision: the colour loses its three low bits and each pixel byte
// its lowest one.
void blend_span_to_colour(uint32_t* first, int width, int height, int pitch, uint32_t colour, uint32_t strengths);
// colour + (pixel - colour) * (255 - strength) / 256 at full precision, saturated.
void blend_span_to_colour_mmx(uint32_t* first, int width, int height, int pitch, uint32_t colour,
                              uint32_t strengths);
