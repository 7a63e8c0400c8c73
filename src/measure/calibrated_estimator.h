#pragma once
// Calibrated figures beside the engine's: carrier-to-noise density (dB-Hz) with a detection
// test of stated false-alarm rate, the carrier frequency to a fraction of a bin, its drift as
// a least-squares slope over a span of time, and levels against digital full scale.
//
// They come from the same transformed blocks as MeasurementEngine's figures, averaged over a
// time of their own (RunSettings::integrationS) so that their meaning does not change with
// the FFT length, the window or HistLen; nothing here alters the engine's figures. Every
// block enters the average; the figures of the average are worked out when asked for, and
// at least every kEvaluationStepS of the source's clock for the drift's series, so short
// blocks cost little more than their share of the average.
//
// Full scale (0 dBFS) is the power of a full-scale sine (peak 32767) on the input:
//  - I/Q: both channels at full scale in quadrature, a complex carrier of power 32767^2;
//  - mono (left channel only, right silent): a real sine of power 32767^2 / 2.
// Noise density is the noise power in 1 Hz against that same full scale: over the complex
// band for I/Q, one-sided for mono. In both, cn0_dbhz = signal_dbfs - noise_dbfs_hz.
//
// How the program drives it (one object per run of the block loop, no Qt):
//   StartRun(settings)                      at START, once the window table is built;
//   ProcessBlock(fftData, engine.marks(), t) after MeasurementEngine::ProcessBlock, with the
//                                           FFT output the engine saw and the block's end
//                                           time in seconds of the source's clock;
//   FillRecord(row, now)                    at every record of the text log, same tick.

#include <cstdint>
#include <optional>

#include "logging/data_record.h"
#include "measure/band_average.h"
#include "measure/carrier_measure.h"
#include "measure/detection_threshold.h"
#include "measure/drift_fit.h"
#include "measure/measurement_engine.h"
#include "measure/window_kernel.h"

namespace corvane {

enum class InputKind { IQ, Mono };

struct RunSettings {
  double sampleRate = 0;
  int32_t fftLen = 0;
  const float* window = nullptr;  // fftLen entries (Module1::WinTable), read by StartRun only
  InputKind input = InputKind::IQ;
  // Spectra averaged over this much time (at least one block): 20 s lets a 15 dB-Hz carrier
  // stand clear of the noise even in the 47 Hz bins of 48000 Hz / 1024 points.
  double integrationS = 20;
  double driftSpanS = 60;
  double falseAlarm = 1e-3;  // share of decisions on noise alone that read "detected"
};

inline constexpr double kFullScale = 32767;

struct CalibratedFigures {
  bool measured = false;   // false until a block of this run had noise bins to measure
  double blockEndS = 0;    // end of the latest block, source clock
  int spectra = 0;         // spectra in the average
  bool detected = false;
  double peakOverNoise = 0;   // the detection statistic ...
  double threshold = 0;       // ... and the level it must exceed
  std::optional<double> freqHz;       // only when detected
  std::optional<double> cn0DbHz;      // only when detected
  std::optional<double> signalDbfs;   // only when detected
  std::optional<double> noiseDbfsHz;  // whenever measured
};

class CalibratedEstimator {
 public:
  static constexpr double kEvaluationStepS = 0.25;

  void StartRun(const RunSettings& settings);

  // One transformed block (ComplexFFT's 1-based layout) over the band the engine averaged.
  void ProcessBlock(const float* fftData, const BlockMarks& marks, double blockEndS);

  // The calibrated columns of a data-log row at `nowS` (source clock): freq_hz, cn0_dbhz,
  // detected, signal_dbfs, noise_dbfs_hz, drift_hz_s, drift_span_s, age_s. The latest
  // completed block's figures, however long ago it ended; all empty before the first.
  void FillRecord(DataRecord& row, double nowS);

  // The latest completed block's figures.
  const CalibratedFigures& Latest();
  std::optional<DriftFit::Slope> Drift() const { return drift_.Fit(); }
  const RunSettings& settings() const { return settings_; }
  // Spectra the average holds once full, and the time they span (the ring is capped at
  // BandAverage::kMaxRingFloats, which only averages of several minutes reach).
  int SpectraAveraged() const { return rows_; }
  double AveragedSeconds() const;
  double NoiseBandwidthBins() const { return kernel_.NoiseBandwidthBins(); }
  // The calibration lines of the data log's run description.
  void Describe(RunDescription& d) const;

 private:
  void Evaluate();

  RunSettings settings_;
  WindowKernel kernel_;
  BandAverage average_;
  DetectionThreshold threshold_;
  DriftFit drift_;
  CalibratedFigures latest_;
  BandGeometry band_;
  bool anyBlock_ = false;
  bool evaluated_ = true;
  double lastEvaluationS_ = 0;
  int rows_ = 1;
};

}  // namespace corvane
