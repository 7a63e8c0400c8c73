#pragma once
// The waterfall's three palettes. Qt-free.

#include <cstdint>

#include "settings/parameters.h"

namespace corvane {

// Maps a level (clamped in place: above 1 -> 0.996, below 0 -> 0) onto palette 0 (colour
// scale), 1 (grey) or any other (cyclic).
Rgb WFCols(double& level, uint8_t palette);

// WFCols as a packed 0xffRRGGBB, for painting rows: the same colours, with palettes 0 and 1
// taken from tables built once instead of being worked out per point.
uint32_t WFColsPacked(double level, uint8_t palette);

// The waterfall level of a bin of raw averaged power, before WFCols: gain is WFGain / 20,
// threshold the WFThr value.
double WaterfallLevel(float avgPwr, float gain, int threshold);

}  // namespace corvane
