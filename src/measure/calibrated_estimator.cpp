#include "measure/calibrated_estimator.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

// Full-scale power in the units of the complex spectrum: the carrier of an I/Q full-scale
// sine is all at +f; a real one puts a quarter of 32767^2 at +f, a quarter at -f.
double FullScalePower(InputKind input) {
  const double fs2 = kFullScale * kFullScale;
  return input == InputKind::Mono ? fs2 / 4 : fs2;
}

std::optional<double> DbOrEmpty(double x) {
  if (!(x > 0) || !std::isfinite(x)) return std::nullopt;
  return 10 * std::log10(x);
}

}  // namespace

void CalibratedEstimator::StartRun(const RunSettings& settings) {
  settings_ = settings;
  kernel_ = WindowKernel(settings.window, settings.fftLen);
  const double blockS =
      settings.sampleRate > 0 ? settings.fftLen / settings.sampleRate : 0.0;
  const double want = blockS > 0 && std::isfinite(settings.integrationS)
                          ? std::round(settings.integrationS / blockS)
                          : 1.0;
  // The widest band the spectrum can hold sets the most rows the ring may take.
  const double widest = settings.fftLen / 2.0 + 2;
  const double maxRows = static_cast<double>(BandAverage::kMaxRingFloats) / (2 * widest);
  rows_ = static_cast<int>(std::clamp(want, 1.0, std::max(1.0, maxRows)));
  average_ = BandAverage{};
  drift_.Reset(settings.driftSpanS);
  latest_ = CalibratedFigures{};
  anyBlock_ = false;
  evaluated_ = true;
  lastEvaluationS_ = -1e300;
}

double CalibratedEstimator::AveragedSeconds() const {
  return settings_.sampleRate > 0 ? rows_ * settings_.fftLen / settings_.sampleRate : 0.0;
}

void CalibratedEstimator::ProcessBlock(const float* fftData, const BlockMarks& marks,
                                       double blockEndS) {
  const int32_t n = settings_.fftLen;
  anyBlock_ = true;
  latest_ = CalibratedFigures{};
  latest_.blockEndS = blockEndS;
  evaluated_ = true;
  const int first = std::max(marks.BandFirst, 0);
  const int last = std::min(marks.BandLast, n - 1);
  if (fftData == nullptr || !kernel_.valid() || !(settings_.sampleRate > 0) || first > last) {
    drift_.Prune(blockEndS);
    return;
  }
  // One bin more on each side for the neighbours of a peak at the band's edge.
  const int lo = std::max(first - 1, 0);
  const int hi = std::min(last + 1, n - 1);
  if (!average_.Covers(n, lo, hi)) average_.Reset(n, lo, hi, rows_);
  average_.Add(fftData, blockEndS);

  band_.first = first;
  band_.last = last;
  band_.sigBwBins = marks.MarkSigBWBins;
  band_.guardBand = marks.GuardBand;
  evaluated_ = false;
  if (blockEndS - lastEvaluationS_ >= kEvaluationStepS || blockEndS < lastEvaluationS_) {
    Evaluate();
  }
}

const CalibratedFigures& CalibratedEstimator::Latest() {
  if (!evaluated_) Evaluate();
  return latest_;
}

void CalibratedEstimator::Evaluate() {
  evaluated_ = true;
  const int32_t n = settings_.fftLen;
  const double rate = settings_.sampleRate;
  const double end = latest_.blockEndS;
  lastEvaluationS_ = end;
  // The average's figures belong to the middle of the time its spectra span.
  const double centre = 0.5 * (average_.OldestEnd() - n / rate + end);
  drift_.Prune(centre);

  const CarrierMeasure m = MeasureCarrier(average_, kernel_, band_);
  if (!m.valid) return;

  const double ref = FullScalePower(settings_.input);
  const double s0 = kernel_.SumSq();
  latest_.measured = true;
  latest_.spectra = average_.count();
  latest_.noiseDbfsHz = DbOrEmpty(m.noisePerBin / (s0 * rate) / ref);
  latest_.peakOverNoise = m.peakOverNoise;
  latest_.threshold =
      threshold_.Level(average_.count(), band_.last - band_.first + 1, settings_.falseAlarm);
  latest_.detected = m.peakOverNoise > latest_.threshold && m.carrierPower > 0;
  if (!latest_.detected) return;

  const double hz = (m.peakBin + m.offsetBins) * rate / n;
  latest_.freqHz = hz;
  latest_.cn0DbHz = DbOrEmpty(m.carrierPower * rate / (n * m.noisePerBin));
  latest_.signalDbfs = DbOrEmpty(m.carrierPower / (n * s0) / ref);
  drift_.Add(centre, hz);
}

void CalibratedEstimator::FillRecord(DataRecord& row, double nowS) {
  row.freqHz.reset();
  row.cn0DbHz.reset();
  row.detected.reset();
  row.signalDbfs.reset();
  row.noiseDbfsHz.reset();
  row.driftHzS.reset();
  row.driftSpanS.reset();
  row.ageS.reset();
  if (!anyBlock_) return;
  Latest();
  row.ageS = nowS - latest_.blockEndS;
  if (!latest_.measured) return;
  row.detected = latest_.detected;
  row.freqHz = latest_.freqHz;
  row.cn0DbHz = latest_.cn0DbHz;
  row.signalDbfs = latest_.signalDbfs;
  row.noiseDbfsHz = latest_.noiseDbfsHz;
  if (const auto slope = drift_.Fit()) {
    row.driftHzS = slope->hzPerS;
    row.driftSpanS = slope->spanS;
  }
}

void CalibratedEstimator::Describe(RunDescription& d) const {
  d.enbwBins = kernel_.NoiseBandwidthBins();
  d.input = settings_.input == InputKind::Mono ? "mono" : "I/Q";
  d.integrationS = AveragedSeconds();
  d.calibratedSpectra = rows_;
  d.falseAlarm = settings_.falseAlarm;
  d.driftSpanS = drift_.span();
}

}  // namespace corvane
