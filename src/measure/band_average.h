#pragma once
// The calibrated figures' own average of the block spectra over a band: the plain mean of
// the last `rows` power spectra, and of the products of neighbouring bins that the sub-bin
// frequency needs. Every spectrum weighs the same, so the average of noise alone follows a
// known distribution. Rows from another run or another band never enter it: a new band or
// FFT length starts the average afresh.
//
// The window's sum is never formed by taking old rows away (which would leave a strong
// carrier's rounding behind after it has gone). Each time the ring turns, its rows are
// folded in place into suffix sums; from then on the sum of the window is the suffix sum of
// the rows not yet overwritten plus a running sum of the rows added since.

#include <cstdint>
#include <vector>

namespace corvane {

class BandAverage {
 public:
  // Rows are capped so that the ring stays under this many floats (64 MiB).
  static constexpr int64_t kMaxRingFloats = int64_t{16} << 20;

  // Bins lo .. hi (0 <= lo <= hi < fftLen) of fftLen-point spectra, at most `rows` averaged.
  void Reset(int32_t fftLen, int lo, int hi, int rows);
  bool Covers(int32_t fftLen, int lo, int hi) const {
    return fftLen == fftLen_ && lo == lo_ && hi == hi_;
  }

  // One block's transformed points, in ComplexFFT's 1-based layout, and the time its last
  // sample was taken.
  void Add(const float* fftData, double endS);

  int count() const { return count_; }
  int rows() const { return rows_; }
  int lo() const { return lo_; }
  int hi() const { return hi_; }
  int width() const { return hi_ - lo_ + 1; }

  // The sums over the spectra in the average (divide by count()) are newest + older, bin by
  // bin from lo; older is null while the ring has not yet turned.
  const float* NewerPower() const { return newer_.data(); }
  const float* OlderPower() const { return turned_ ? Row(slot_) : nullptr; }
  // Mean |X(k)|^2, lo <= k <= hi.
  double Power(int k) const;
  // Mean Re[X(k+1) X(k)*], lo <= k < hi.
  double Cross(int k) const;
  // End time of the oldest spectrum in the average.
  double OldestEnd() const { return ends_[count_ == rows_ ? slot_ : 0]; }

 private:
  const float* Row(int slot) const;
  float* Row(int slot);
  void Fold();

  int32_t fftLen_ = 0;
  int lo_ = 0, hi_ = -1;
  int rows_ = 0;
  int count_ = 0;
  int slot_ = 0;
  bool turned_ = false;
  std::vector<float> ring_;   // per row: width powers, then width crosses
  std::vector<float> newer_;  // sums of the rows added since the last fold, same layout
  std::vector<double> ends_;
};

}  // namespace corvane
