#pragma once
// The per-block measurement of the carrier: power history and averaging, peak and noise,
// S/N read-outs, tracking, stability, alarm and the drift of the one-second tick.

#include "common/missing_value.h"
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/format_pattern.h"
#include "measure/engine_host.h"
#include "settings/parameters.h"

namespace corvane {

inline constexpr int kHistRows = 64;
inline constexpr int kHistBins = 65536;
inline constexpr int kSigHistSlots = 256;

// Texts and states of the read-out labels, as the window shows them.
struct Readouts {
  std::string PeakDet;
  bool SNResultsVisible = true;
  std::string SNBin = "dB", SN1Hz = "dB", SN2k5Hz = "dB", ShowNoise = "dB", ShowSignal = "dB";
  std::string CarrStabMsg = "Carrier Stability";
  Rgb CarrStabColour{0, 0, 0};
  std::string Drift = "Carrier Drift";
  bool DriftVisible = false;
  std::string AlarmVisual;
  bool AlarmVisible = false;
  Rgb AlarmColour{0, 0, 0};
};

// What the plot needs of one block, taken at the steps where the plot would have drawn.
struct BlockMarks {
  double BoxCentreBin = 0;    // signal-band box, as at the start of the block
  double BoxSigBWBins = 0;
  double MarkSigBWBins = 0;   // noise bars, peak and signal bar, after any bandwidth reset
  double PeakBin = 0;
  double NoisePwr = 0;
  double SigPwr = 0;
  float GuardBand = 0;
  bool InBand = false;
  bool Measured = false;      // false when the noise check failed and the block stopped early
  // The band averaged and searched: FMinBin .. FMaxBin kept inside 0 .. FFTLen-1.
  // Empty (BandLast < BandFirst) when the band lies outside the spectrum or is reversed.
  int BandFirst = 0;
  int BandLast = -1;
};

class MeasurementEngine {
 public:
  MeasurementEngine(MeasurementParams& params, EngineHost& host);
  ~MeasurementEngine();
  MeasurementEngine(const MeasurementEngine&) = delete;
  MeasurementEngine& operator=(const MeasurementEngine&) = delete;

  // Capture starts: HistIdx = DetCount = 0, PrevCentreBin = CentreBin (so the first drift
  // step does not count the whole centre frequency as drift).
  void StartRun();

  // Steps 11 .. 22 of one block, over the transformed complex points in `fftData`
  // (1-based layout, Module1::FFTLen points). `now` stamps the alarm.
  void ProcessBlock(const float* fftData, const DateTime& now);

  // The drift update of the one-second tick. A factor of 0 or a non-finite one keeps the
  // last drift value (the caption is still written and the reference bin still moves on);
  // one below 1 counts as 1.
  void TickDrift(double avConstLeadingNumber);
  // After a record: the log values go back to missing.
  void ResetLogValues();
  // No input (the source was lost or ended) or a block with nothing to measure (silence):
  // the read-outs and the log show that nothing is measured, not the last values, and the
  // alarm is armed again so that a strong carrier coming back alarms anew.
  void NothingMeasured();

  void TrackSigClick();
  void CFToPeakClick();
  // Left click on the spectrum at fractional bin x.
  void SpectrumClick(double x);

  // State read by the plot, the waterfall and the log.
  const float* AvgPwr() const { return avgPwr_.get(); }
  const float* PwrHistRow(int row) const;
  const Readouts& readouts() const { return readouts_; }
  const BlockMarks& marks() const { return marks_; }

  // Missing (kMissingDb) values stand wherever a level cannot be formed: a non-positive
  // signal bandwidth text, a block whose noise check failed.
  double PeakBin = 0, PeakPwr = 0, SigPwr = 0, NoisePwr = 0;
  double NoiseBins = 0;
  double SN1HzDb = 0;
  double NoiseLevelDb = kMissingDb;
  bool InBand = false;
  bool Steady = false;
  int HistIdx = 0;
  int DetCount = 0;
  double StabMeanDb = 0, StabSumSq = 0, StabSpreadDb = 0;
  double PrevCentreBin = 0;
  double DriftStepHz = 0;
  double DriftHzPerSec = 0;
  double LogSignalDb = kMissingDb;
  double LogSN1HzDb = kMissingDb;
  // The noise-failure message has been shown and no block has measured since.
  bool SilenceReported = false;

  // Period of the stability history actually used: DetFrames clipped to 1 .. 256, 2 when
  // DetFrames is below 1 or not finite.
  int DetPeriod() const;
  // HistLen clamped to 1 .. 64.
  int HistRows() const;

 private:
  bool MeasureNoiseAndSignal();
  void NoiseFailure(bool showMessage);
  void ReadOutsAndTracking();
  void Stability();
  void Alarm(const DateTime& now);

  // Zeroed pages straight from the system, made resident only where written: a small FFT
  // touches a few kilobytes of each history row and leaves the rest out of memory.
  struct Unmap {
    std::size_t bytes = 0;
    void operator()(float* p) const;
  };
  using ZeroPages = std::unique_ptr<float[], Unmap>;
  static ZeroPages MapZeroed(std::size_t count);

  MeasurementParams& p_;
  EngineHost& host_;
  ZeroPages pwrHist_;  // kHistRows rows of kHistBins
  ZeroPages avgPwr_;
  float sigHist_[kSigHistSlots] = {};
  Readouts readouts_;
  BlockMarks marks_;
};

}  // namespace corvane
