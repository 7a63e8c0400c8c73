// The engine driven block by block, as the window drives it: a host that stands in for the
// window's controls and a fixture that writes bin powers straight into the transform's output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/numtext.h"
#include "measure/measurement_engine.h"

namespace corvane::engine_testing {

inline constexpr double kFactor = 4.342944819;
inline double Db(double x) { return kFactor * std::log(x); }

// Stands in for the window: records the calls and runs the change handlers of the SigBW and
// CF controls the way they chain (a handler runs only when its text or value changes).
class TestHost : public EngineHost {
 public:
  explicit TestHost(MeasurementParams& p) : p_(p) {}

  double SigBWTextHz() override { return ParseLeadingNumber(sigBWText); }
  bool TrackingOn() override { return tracking; }
  void ShowNoiseFailure() override { ++messages; }
  void ResetSignalBandwidth() override {
    ++resets;
    SetSigBWUD(100);
    SetSigBWText("100");
  }
  void SetCentreFrequencyText(const std::string& text) override {
    cfTextsSet.push_back(text);
    SetCF(text);
  }
  void PlayAlarmSound() override { ++sounds; }

  std::string sigBWText = "100";
  int sigBWUD = 100;
  std::string cfText = "1000";
  int cfUD = 1000;
  bool tracking = false;
  int messages = 0, resets = 0, sounds = 0;
  std::vector<std::string> cfTextsSet;

 private:
  double Bins(double hz) const {
    return std::floor((hz / p_.SampleRate) * Module1::FFTLen + 0.5);
  }
  void SetSigBWUD(int v) {
    if (v == sigBWUD) return;
    sigBWUD = v;
    SetSigBWText(PlainText(v));
  }
  void SetSigBWText(const std::string& t) {
    if (t == sigBWText) return;
    sigBWText = t;
    p_.SigBWBins = std::max(Bins(ParseLeadingNumber(t)), 1.0);
    const double b = p_.SampleRate * p_.SigBWBins / Module1::FFTLen;
    if (b > 0 && b < 1000) SetSigBWUD(RoundHalfEven32(b));
    SetSigBWText(PlainText(sigBWUD));
  }
  void SetCF(const std::string& t) {
    if (t == cfText) return;
    cfText = t;
    if (IsWholeNumber(t)) p_.CentreBin = Bins(ParseLeadingNumber(t));
    const double f = ParseLeadingNumber(t);
    if (f > 1 && f < 3000 && RoundHalfEven32(f) != cfUD) {
      cfUD = RoundHalfEven32(f);
      SetCF(PlainText(cfUD));
    }
  }
  MeasurementParams& p_;
};

// 12000 Hz, 8192 points, band 100 .. 900, W 10, G 0.5, centre 500, HistLen 1: blocks are
// written straight into FFTData as bin powers, so every figure is exact.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Module1::FFTLen = 8192;
    p.SampleRate = 12000;
    p.CentreBin = 500;
    p.SigBWBins = 10;
    p.FMinBin = 100;
    p.FMaxBin = 900;
    p.DetFrames = 4;
    p.StabLimitDb = 10;
    p.HistLen = 1;
    p.AlarmThreshDb = 200;
    p.GuardBand = 0.5f;
    host.sigBWText = "100";
    engine.StartRun();
  }
  // Power of bin k as re^2 + im^2 of whole numbers, so the stored power is exact.
  void SetBin(int k, float re, float im = 0) {
    data[2 * k + 1] = re;
    data[2 * k + 2] = im;
  }
  // Noise floor of power 1 across the band, peak of power `peak` at `bin`.
  void FloorAndPeak(int bin, float amplitude) {
    std::fill(data.begin(), data.end(), 0.0f);
    for (int k = 100; k <= 900; ++k) SetBin(k, 1);
    SetBin(bin, amplitude);
  }
  void Run(int blocks = 1) {
    for (int i = 0; i < blocks; ++i) engine.ProcessBlock(data.data(), now);
  }

  MeasurementParams p;
  TestHost host{p};
  MeasurementEngine engine{p, host};
  std::vector<float> data = std::vector<float>(Module1::kFFTDataSize, 0.0f);
  DateTime now{2024, 5, 6, 14, 3, 27};
};

}  // namespace corvane::engine_testing
