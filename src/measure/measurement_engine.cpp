#include "measure/measurement_engine.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "common/numtext.h"
#include "dsp/fft.h"

namespace corvane {

namespace {

// A level in dB of a linear power ratio, or the missing value when none can be formed.
double DbOrMissing(double x) {
  if (!(x > 0) || !std::isfinite(x)) return kMissingDb;
  const double db = DbOf(x);
  return std::isfinite(db) ? db : kMissingDb;
}

// Signal and noise levels as shown and logged: dB of the power per bin, 50 dB down.
double LevelDb(double pwr) {
  const double db = DbOrMissing(pwr);
  return db == kMissingDb ? kMissingDb : db - 50;
}

// The FFT length the arrays can hold; FFTData has room for 65535 points, the history for
// kHistBins, the FFT itself for kMaxFFTLen.
int32_t UsableFFTLen() {
  return std::clamp<int32_t>(Module1::FFTLen, 0, Module1::kMaxFFTLen);
}

// The signal bandwidth as a divisor: at least a positive, finite number of bins.
double UsableBandwidth(double w) { return (w > 0 && std::isfinite(w)) ? w : 1.0; }

// dst += src, one single-precision rounding per bin. Vectorises: no other rounding order.
void AddRow(float* __restrict dst, const float* __restrict src, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) dst[i] = src[i] + dst[i];
}

}  // namespace

MeasurementEngine::MeasurementEngine(MeasurementParams& params, EngineHost& host)
    : p_(params),
      host_(host),
      pwrHist_(MapZeroed(static_cast<std::size_t>(kHistRows) * kHistBins)),
      avgPwr_(MapZeroed(kHistBins)) {}

MeasurementEngine::~MeasurementEngine() = default;

// mmap rather than calloc: whether calloc clears (and so touches) the pages depends on the
// allocator's state, and a zero-filling new always touches them.
MeasurementEngine::ZeroPages MeasurementEngine::MapZeroed(std::size_t count) {
  const std::size_t bytes = count * sizeof(float);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  // Huge pages would make 2 MiB resident for the few kilobytes a row uses.
  (void)madvise(p, bytes, MADV_NOHUGEPAGE);
  return ZeroPages(static_cast<float*>(p), Unmap{bytes});
}

void MeasurementEngine::Unmap::operator()(float* p) const {
  if (p != nullptr) munmap(p, bytes);
}

const float* MeasurementEngine::PwrHistRow(int row) const {
  row = std::clamp(row, 0, kHistRows - 1);
  return pwrHist_.get() + static_cast<std::size_t>(row) * kHistBins;
}

int MeasurementEngine::HistRows() const { return std::clamp<int32_t>(p_.HistLen, 1, kHistRows); }

int MeasurementEngine::DetPeriod() const {
  const double d = p_.DetFrames;
  if (!std::isfinite(d) || d < 1) return 2;
  if (d >= kSigHistSlots) return kSigHistSlots;
  return static_cast<int>(d);
}

void MeasurementEngine::StartRun() {
  HistIdx = 0;
  DetCount = 0;
  PrevCentreBin = p_.CentreBin;
  SilenceReported = false;
}

void MeasurementEngine::ResetLogValues() {
  LogSignalDb = kMissingDb;
  LogSN1HzDb = kMissingDb;
}

void MeasurementEngine::ProcessBlock(const float* fftData, const DateTime& now) {
  const int32_t n = UsableFFTLen();
  const int rows = HistRows();

  PeakBin = 0;
  PeakPwr = 0;
  SigPwr = 0;
  NoisePwr = 0;
  marks_ = BlockMarks{};
  marks_.BoxCentreBin = p_.CentreBin;
  marks_.BoxSigBWBins = p_.SigBWBins;

  // The history keeps the row index inside its 64 rows whatever HistLen did meanwhile.
  if (HistIdx < 0 || HistIdx >= kHistRows) HistIdx = 0;

  // Power row: squares and sum in double, one rounding when stored.
  float* row = pwrHist_.get() + static_cast<std::size_t>(HistIdx) * kHistBins;
  for (int32_t k = 0; k < n; ++k) {
    const double re = fftData[2 * k + 1];
    const double im = fftData[2 * k + 2];
    row[k] = static_cast<float>(im * im + re * re);
  }

  // The band, kept inside the spectrum; a reversed or outside band is empty.
  int first = 0, last = -1;
  if (n > 0 && std::isfinite(p_.FMinBin) && std::isfinite(p_.FMaxBin)) {
    const double lo = std::max(std::ceil(p_.FMinBin), 0.0);
    const double hi = std::min(std::floor(p_.FMaxBin), static_cast<double>(n - 1));
    if (lo <= hi) {
      first = static_cast<int>(lo);
      last = static_cast<int>(hi);
    }
  }
  marks_.BandFirst = first;
  marks_.BandLast = last;

  // Averaging. Rows in the outer loop: each bin still receives its rows in rising order
  // with a single-precision sum, so the result is that of the bin-by-bin running sum, and
  // the inner loop runs over contiguous memory.
  float* avg = avgPwr_.get();
  if (first <= last) {
    // In tiles that stay in the first-level cache while every row is added to them.
    constexpr int kTile = 2048;
    for (int t = first; t <= last; t += kTile) {
      const auto count = static_cast<std::size_t>(std::min(kTile, last - t + 1));
      std::fill_n(avg + t, count, 0.0f);
      for (int r = 0; r < rows; ++r) {
        AddRow(avg + t, pwrHist_.get() + static_cast<std::size_t>(r) * kHistBins + t, count);
      }
    }
    const double divisor = rows;
    for (int k = first; k <= last; ++k) {
      avg[k] = static_cast<float>(static_cast<double>(avg[k]) / divisor);
      // Strictly greater: of equal maxima the lowest bin stays the peak.
      if (avg[k] > PeakPwr) {
        PeakPwr = avg[k];
        PeakBin = k;
      }
    }
  }

  HistIdx = (HistIdx + 1) % rows;

  if (!MeasureNoiseAndSignal()) {
    // Nothing in the band to measure the noise against (silence, or a guard region over
    // the whole band): this block stops here, the next one tries again.
    marks_.MarkSigBWBins = p_.SigBWBins;
    marks_.PeakBin = PeakBin;
    marks_.Measured = false;
    NothingMeasured();
    return;
  }
  SilenceReported = false;

  readouts_.PeakDet = FormatPattern(BinToHz(PeakBin, p_.SampleRate, n), "Peak at #####Hz");

  ReadOutsAndTracking();
  Stability();
  Alarm(now);

  DetCount = (DetCount + 1) % DetPeriod();
}

void MeasurementEngine::NothingMeasured() {
  SigPwr = 0;
  NoisePwr = 0;
  InBand = false;
  Steady = false;
  NoiseLevelDb = kMissingDb;
  LogSignalDb = kMissingDb;
  LogSN1HzDb = kMissingDb;
  // A strong carrier that comes back is a new rising edge.
  SN1HzDb = kMissingDb;
  p_.AlarmActive = false;
  readouts_.PeakDet.clear();
  readouts_.SNResultsVisible = false;
  readouts_.CarrStabMsg = "Carrier Stability";
  readouts_.CarrStabColour = Rgb{0, 0, 0};
  readouts_.AlarmColour = Rgb{128, 128, 128};
}

void MeasurementEngine::NoiseFailure(bool showMessage) {
  if (showMessage) host_.ShowNoiseFailure();
  const int32_t n = UsableFFTLen();
  // 100 Hz in bins, unrounded; the host's handlers round it as the controls do.
  p_.SigBWBins = (p_.SampleRate > 0 && n > 0) ? (static_cast<double>(n) * 100) / p_.SampleRate
                                              : 1.0;
  host_.ResetSignalBandwidth();
}

bool MeasurementEngine::MeasureNoiseAndSignal() {
  const double w = UsableBandwidth(p_.SigBWBins);
  // A negative guard band would let a bin be noise and signal at once.
  const float g = std::max(std::isfinite(p_.GuardBand) ? p_.GuardBand : 0.0f, 0.0f);
  const double guard = (static_cast<double>(g) + 0.5) * w;
  const double half = w / 2;
  const double peak = PeakBin;
  const float* avg = avgPwr_.get();

  for (int k = marks_.BandFirst; k <= marks_.BandLast; ++k) {
    const double kd = k;
    if (kd < peak - guard || kd > peak + guard) {
      NoisePwr += avg[k];
    } else if (peak - half <= kd && kd <= peak + half) {
      SigPwr += avg[k];
    }
  }
  marks_.GuardBand = g;

  if (!(NoisePwr > 0) || !std::isfinite(NoisePwr)) {
    // One message per silence; the bandwidth is reset at every failing block so that a
    // guard region grown over the whole band cannot keep the measurement stopped.
    NoiseFailure(!SilenceReported);
    SilenceReported = true;
    return false;
  }

  const double bandBins = marks_.BandLast - marks_.BandFirst;
  NoiseBins = RoundHalfEven32(bandBins - w * (static_cast<double>(g) + 1));
  if (NoiseBins < 1) {
    NoiseFailure(true);
    NoiseBins = 1;
  }

  NoisePwr = NoisePwr / NoiseBins;
  SigPwr = SigPwr / UsableBandwidth(p_.SigBWBins);

  marks_.MarkSigBWBins = p_.SigBWBins;
  marks_.PeakBin = PeakBin;
  marks_.NoisePwr = NoisePwr;
  marks_.SigPwr = SigPwr;
  marks_.Measured = true;
  return true;
}

void MeasurementEngine::ReadOutsAndTracking() {
  const int32_t n = UsableFFTLen();
  const double w = UsableBandwidth(p_.SigBWBins);
  InBand = std::fabs(p_.CentreBin - PeakBin) <= w / 2;
  marks_.InBand = InBand;

  const int slot = (DetCount >= 0 && DetCount < kSigHistSlots) ? DetCount : 0;
  if (DetCount != slot) DetCount = slot;

  if (InBand) {
    const double ratio = SigPwr / NoisePwr;
    const double bwHz = host_.SigBWTextHz();
    const bool bwValid = bwHz > 0 && std::isfinite(bwHz);
    // Without a positive bandwidth text there is no S/N in 1 Hz: it reads as missing.
    SN1HzDb = bwValid ? DbOrMissing(ratio * bwHz) : kMissingDb;
    readouts_.SNBin = "S/N FFT Bin  " + FormatPattern(DbOrMissing(ratio * w), "#0.0dB");
    readouts_.SN1Hz = "    ''     1Hz    " + FormatPattern(SN1HzDb, " #0.0dB");
    const double sn2k5 = SN1HzDb == kMissingDb ? kMissingDb : SN1HzDb - 33.98;
    readouts_.SN2k5Hz = "    ''   2500Hz  " + FormatPattern(sn2k5, "#0.0dB");
    readouts_.ShowNoise = "Noise             " + FormatPattern(LevelDb(NoisePwr), "#0.0dB");
    readouts_.ShowSignal =
        "Signal            " + FormatPattern(LevelDb(SigPwr), "#0.0dB (Sig B/W)");

    sigHist_[slot] = std::isfinite(SigPwr) ? static_cast<float>(SigPwr) : 0.0f;

    if (host_.TrackingOn()) {
      p_.CentreBin = PeakBin;
      host_.SetCentreFrequencyText(CentreFreqText(p_.CentreBin, p_.SampleRate, n));
    } else {
      PrevCentreBin = PeakBin;
    }
    readouts_.SNResultsVisible = true;
  } else {
    sigHist_[slot] = 0.0f;
    readouts_.SNResultsVisible = false;
  }
  NoiseLevelDb = LevelDb(NoisePwr);
}

void MeasurementEngine::Stability() {
  const int period = DetPeriod();
  double sum = 0, sumSq = 0;
  for (int i = 0; i < period; ++i) {
    const double v = sigHist_[i];
    sum += v;
    sumSq += v * v;
  }
  const double d = period;
  const double v = sumSq / d - (sum / d) * (sum / d);
  const double s = v > 0 ? std::sqrt(v) : v;
  const double m = sum / d;
  StabSumSq = sumSq;
  StabMeanDb = (m > 0 && std::isfinite(m)) ? DbOf(m) : 0;
  StabSpreadDb = (s > 0 && std::isfinite(s)) ? DbOf(s) : 0;

  Steady = StabMeanDb - StabSpreadDb > p_.StabLimitDb;
  if (Steady) {
    readouts_.CarrStabMsg = "Carrier steady";
    readouts_.CarrStabColour = Rgb{0, 128, 32};
    LogSignalDb = LevelDb(SigPwr);
    const double bwHz = host_.SigBWTextHz();
    LogSN1HzDb = (bwHz > 0 && std::isfinite(bwHz)) ? DbOrMissing(bwHz * (SigPwr / NoisePwr))
                                                   : kMissingDb;
  } else {
    readouts_.CarrStabMsg = "Carrier Unstable";
    readouts_.CarrStabColour = Rgb{128, 32, 0};
    LogSignalDb = kMissingDb;
    LogSN1HzDb = kMissingDb;
  }
}

void MeasurementEngine::Alarm(const DateTime& now) {
  if (SN1HzDb > p_.AlarmThreshDb) {
    if (!p_.AlarmActive) {
      readouts_.AlarmVisual = "Big Signal " + FormatPattern(now, "hh:mm:ss");
      readouts_.AlarmVisible = true;
      host_.PlayAlarmSound();
    }
    readouts_.AlarmColour = Rgb{0, 0, 0};
    p_.AlarmActive = true;
  } else {
    readouts_.AlarmColour = Rgb{128, 128, 128};
    p_.AlarmActive = false;
  }
}

void MeasurementEngine::TickDrift(double avConstLeadingNumber) {
  const int32_t n = Module1::FFTLen;
  const double step =
      n > 0 ? p_.SampleRate * ((p_.CentreBin - PrevCentreBin) / static_cast<double>(n)) : 0.0;
  DriftStepHz = std::isfinite(step) ? step : 0.0;

  if (avConstLeadingNumber != 0 && std::isfinite(avConstLeadingNumber)) {
    // A factor below 1 would weigh the old value negatively, and below 0.5 the drift grows
    // without bound; it counts as 1, no smoothing.
    const double factor = avConstLeadingNumber < 1 ? 1.0 : avConstLeadingNumber;
    const float a = static_cast<float>(1.0 / factor);
    const double next = DriftHzPerSec * static_cast<double>(1.0f - a) + DriftStepHz * a;
    if (std::isfinite(a) && std::isfinite(next)) DriftHzPerSec = next;
  }
  readouts_.Drift = "Freq Drift " + FormatPattern(DriftHzPerSec, "##0.00## Hz/s");
  PrevCentreBin = p_.CentreBin;
}

void MeasurementEngine::TrackSigClick() {
  readouts_.DriftVisible = true;
  PrevCentreBin = p_.CentreBin;
}

void MeasurementEngine::CFToPeakClick() {
  p_.CentreBin = PeakBin;
  PrevCentreBin = p_.CentreBin;
  host_.SetCentreFrequencyText(CentreFreqText(p_.CentreBin, p_.SampleRate, UsableFFTLen()));
}

void MeasurementEngine::SpectrumClick(double x) {
  const float xs = static_cast<float>(x);
  if (!std::isfinite(xs)) return;
  const double bin = xs;
  p_.CentreBin = bin;
  PrevCentreBin = bin;
  host_.SetCentreFrequencyText(CentreFreqText(p_.CentreBin, p_.SampleRate, UsableFFTLen()));
}

}  // namespace corvane
