#include "capture/test_signal_source.h"

namespace corvane {

TestSignalSource::TestSignalSource(double centreHz, bool fast, uint64_t seed, QObject* parent)
    : PacedSource(fast, parent), centreHz_(centreHz), seed_(seed) {}

bool TestSignalSource::open(double sampleRate, int frames, QString* error) {
  close();
  // The rates a sound card could deliver; anything else would never tick a second.
  if (!(sampleRate >= 1 && sampleRate <= 384000) || frames <= 0) {
    if (error) *error = QStringLiteral("test signal: invalid sampling rate or block length");
    return false;
  }
  TestSignalParams params;
  params.sampleRate = sampleRate;
  params.centreHz = centreHz_;
  params.seed = seed_;
  signal_ = std::make_unique<TestSignal>(params);
  startPacing(sampleRate, frames);
  return true;
}

bool TestSignalSource::fillBlock(int16_t* buffer, int frames) {
  signal_->Generate(buffer, frames);
  return true;
}

}  // namespace corvane
