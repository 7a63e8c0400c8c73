#include "display/wf_colours.h"

#include <array>
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

namespace {

uint32_t Pack(const Rgb& c) {
  return 0xff000000u | static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 |
         static_cast<uint32_t>(c.b);
}

// Palette 0 by its step a (0 .. 1536), palette 1 by its grey (0 .. 255), as WFCols gives them.
struct PaletteTables {
  std::array<uint32_t, 1537> scale{};
  std::array<uint32_t, 256> grey{};
  PaletteTables() {
    for (size_t a = 0; a < scale.size(); ++a) {
      double level = static_cast<double>(a) / 1536;
      scale[a] = Pack(WFCols(level, 0));
    }
    for (size_t g = 0; g < grey.size(); ++g) {
      const auto v = static_cast<int>(g);
      grey[g] = Pack(Rgb{v, v, v});
    }
  }
};

}  // namespace

uint32_t WFColsPacked(double level, uint8_t palette) {
  if (palette > 1 || std::isnan(level)) return Pack(WFCols(level, palette));
  static const PaletteTables tables;
  if (level > 1) level = 0.996;
  if (level < 0) level = 0;
  // In [0, 1536] the nearest integer with ties to even, as RoundHalfEven32/16 round: rint
  // under the default rounding mode, without their general range checks.
  if (palette == 0) return tables.scale[static_cast<size_t>(std::rint(6 * (256 * level)))];
  return tables.grey[static_cast<size_t>(std::rint(255 * level))];
}

double WaterfallLevel(float avgPwr, float gain, int threshold) {
  const double db = avgPwr > 0 ? kDbFactor * std::log(static_cast<double>(avgPwr)) : 0.0;
  return static_cast<double>(gain) * ((db - threshold) - 30) / 256;
}

}  // namespace corvane
