#pragma once
// The waterfall's automatic level: a gain and threshold, in the units of the WFGain / 20 and
// WFThr bars, set from the measured noise floor so that the noise is dark and a carrier
// 10 dB above it stands out. Qt-free.

namespace corvane {

struct WaterfallScale {
  float gain = 2.5f;       // WFGain / 20
  double threshold = 30;   // WFThr, dB
};

// The level (0 .. 1, before the palette) the noise floor and a carrier 10 dB above it get:
// near black, and yellow-green in the colour scale. Noise a few dB above the floor shows
// blue, well apart from the carrier.
inline constexpr double kAutoNoiseLevel = 0.02;
inline constexpr double kAutoCarrierLevel = 0.6;

// The scale that maps a power of `noisePwr` (raw averaged power, as the spectrum holds it) to kAutoNoiseLevel and ten times that power to kAutoCarrierLevel.
WaterfallScale AutoWaterfallScale(double noisePwr);

// Follows the noise floor block by block, smoothly enough that the picture does not flicker
// with the noise measurement's own scatter, and quickly enough to settle within seconds.
class AutoWaterfallLevel {
 public:
  // The scale for the next row; a floor of 0 or less (nothing measured) keeps the last one.
  WaterfallScale Follow(double noisePwr);
  void Reset() { haveFloor_ = false; }

 private:
  bool haveFloor_ = false;
  double floorDb_ = 0;
};

}  // namespace corvane
