#include "display/wf_colours.h"

#include <cmath>

#include "common/numtext.h"

namespace corvane {

Rgb WFCols(double& level, uint8_t palette) {
  if (level > 1) level = 0.996;
  if (level < 0) level = 0;

  if (palette == 0) {
    // Levels from 1535.5/1536 up to 1 round to a = 1536, one step past the red-to-white
    // segment; they keep that segment's end colour, white.
    int32_t a = RoundHalfEven32(6 * (256 * level));
    if (a > 1535) a = 1535;
    const int b = a % 256;
    switch (a / 256) {
      case 0: return {0, 0, b};
      case 1: return {0, b, 255};
      case 2: return {0, 255, 255 - b};
      case 3: return {b, 255, 0};
      case 4: return {255, 255 - b, 0};
      default: return {255, b, b};
    }
  }
  if (palette == 1) {
    const int grey = RoundHalfEven16(255 * level);
    return {grey, grey, grey};
  }
  // Not 2*pi: the cycle stops just short of a full turn.
  constexpr double kK = 6.282;
  const int blue = RoundHalfEven16(127 * std::cos(kK * level) + 127);
  const int green = RoundHalfEven16(127 * std::sin(kK * level) + 127);
  const int red = level > 0.75 ? RoundHalfEven16(127 * std::sin(8 * kK * (level - 0.75)) + 127)
                               : 0;
  return {red, green, blue};
}

double WaterfallLevel(float avgPwr, float gain, int threshold) {
  const double db = avgPwr > 0 ? kDbFactor * std::log(static_cast<double>(avgPwr)) : 0.0;
  return static_cast<double>(gain) * ((db - threshold) - 30) / 256;
}

}  // namespace corvane
