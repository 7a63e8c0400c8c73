#pragma once
// The carrier in one averaged spectrum, in the raw units of the transform: where it is to a
// fraction of a bin, its whole power, and the noise per bin beside it.
//
// The band is split as MeasurementEngine splits it around the strongest bin P: signal
// bins within W/2 of P, noise bins beyond (G + 1/2) W, a guard region between. Both sums hold
// noise and some of the carrier; with the window's share of the carrier in each (from the
// sub-bin frequency), the two sums give the carrier and the noise exactly in the mean:
//   signal sum = Ks * noise + carrier * Fs,   noise sum = Kn * noise + carrier * Fn
// with Ks, Kn the bins actually summed. So a narrow signal band loses no carrier power and a
// strong carrier's skirts do not pass for noise.

#include "measure/band_average.h"
#include "measure/window_kernel.h"

namespace corvane {

struct BandGeometry {
  int first = 0, last = -1;  // the band searched, whole bins, inside the average's rows
  double sigBwBins = 1;      // W
  double guardBand = 0;      // G, in multiples of W
};

struct CarrierMeasure {
  bool valid = false;         // a strongest bin and at least one noise bin
  int peakBin = 0;
  double offsetBins = 0;      // the carrier lies at peakBin + offsetBins
  double carrierPower = 0;    // sum over all bins of the carrier's |X|^2 (may be <= 0: none)
  double noisePerBin = 0;     // mean |X|^2 of the noise in one bin
  double peakOverNoise = 0;   // the strongest bin's mean power over noisePerBin
  int signalBins = 0, noiseBins = 0;
};

CarrierMeasure MeasureCarrier(const BandAverage& average, const WindowKernel& kernel,
                              const BandGeometry& band);

}  // namespace corvane
