#include "display/waterfall_level.h"

#include <cmath>

namespace corvane {
namespace {
constexpr double kDbFactor = 4.342944819;
// Of each new floor, the share taken: about 20 blocks to settle after a jump.
constexpr double kFollow = 0.1;

WaterfallScale ScaleAtDb(double noiseDb) {
  // level = gain × ((dB − threshold) − 30) ÷ 256, as the bars' own scale.
  const double gain = (kAutoCarrierLevel - kAutoNoiseLevel) * 256 / 10;
  WaterfallScale s;
  s.gain = static_cast<float>(gain);
  s.threshold = noiseDb - 30 - kAutoNoiseLevel * 256 / static_cast<double>(s.gain);
  return s;
}
}  // namespace

WaterfallScale AutoWaterfallScale(double noisePwr) {
  if (!(noisePwr > 0)) return {};
  return ScaleAtDb(kDbFactor * std::log(noisePwr));
}

WaterfallScale AutoWaterfallLevel::Follow(double noisePwr) {
  if (noisePwr > 0 && std::isfinite(noisePwr)) {
    const double db = kDbFactor * std::log(noisePwr);
    floorDb_ = haveFloor_ ? floorDb_ + kFollow * (db - floorDb_) : db;
    haveFloor_ = true;
  }
  return haveFloor_ ? ScaleAtDb(floorDb_) : WaterfallScale{};
}

}  // namespace corvane
